#include "machine_settings.h"

#include <strings.h>

#include "scenario_parser.h"

namespace sim::core {

MachineSettings MachineSettings::FromScenario(const Scenario& scenario) {
    MachineSettings settings;
    for (const char* name : {"ipmi_msghandler", "ipmi_devintf", "ipmi_si", "sg"}) {
        settings.modules[name].state = "loaded";
    }
    settings.modules["usb_storage"].state = "loadable";
    settings.uname = {{"sysname", "Linux"}, {"release", "6.1.0-sim"}};
    for (const auto& [key, value] : scenario.entries) {
        const std::vector<std::string> words = SplitBlanks(key);
        if (words[0] == "root") {
            settings.root = value == "yes";
        } else if (words[0] == "module") {
            settings.modules[words[1]].state = value;
        } else if (words[0] == "rmmod_failures") {
            long long count = 0;
            ParseNumber(value, &count);
            settings.modules[words[1]].rmmodFailures = static_cast<int>(count);
        } else if (words[0] == "process") {
            settings.processes.insert(words[1]);
        } else if (words[0] == "haldaemon") {
            settings.haldaemon = value;
        } else if (words[0] == "norb") {
            settings.norb = value;
        } else if (words[0] == "umount_failures") {
            long long count = 0;
            ParseNumber(value, &count);
            settings.umountFailures = static_cast<int>(count);
        } else if (words[0] == "command") {
            CommandOverride override;
            override.line = key.substr(8);
            SplitCommandOverride(value, &override.exitStatus, &override.output);
            settings.overrides.push_back(override);
        } else if (words[0].rfind("uname.", 0) == 0) {
            settings.uname[words[0].substr(6)] = value;
        }
    }
    return settings;
}

std::string MachineSettings::Uname(const std::string& field) const {
    const auto it = uname.find(field);
    return it == uname.end() ? "" : it->second;
}

bool MachineSettings::IsEsxi() const {
    return strcasecmp(Uname("sysname").c_str(), "VMkernel") == 0;
}

std::string MachineSettings::NorbDirectory() const {
    return IsEsxi() ? "/scratch/opt/tessel/vek/lib/" : "/opt/tessel/vek64/lib/";
}

}  // namespace sim::core
