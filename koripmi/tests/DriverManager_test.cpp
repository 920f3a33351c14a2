#include "DriverManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IpmiTestSupport.h"
#include "simmachine/SimMachine.h"

namespace {

// The command lines exactly as the shell must receive them.
std::string Check(const std::string& module) {
    return "lsmod  | grep " + module + " > /dev/null 2>&1 ";
}
std::string Load(const std::string& module) {
    return "modprobe " + module + " > /dev/null 2>&1 ";
}
std::string Unload(const std::string& module) {
    return "rmmod " + module + " > /dev/null 2>&1 ";
}

const std::vector<std::string> kChecks = {Check("ipmi_msghandler"), Check("ipmi_devintf"),
                                          Check("ipmi_si")};
const std::vector<std::string> kAllThree = {
    Check("ipmi_msghandler"), Check("ipmi_devintf"),  Check("ipmi_si"),
    Load("ipmi_msghandler"),  Load("ipmi_devintf"),   Load("ipmi_si"),
    Unload("ipmi_si"),        Unload("ipmi_devintf"), Unload("ipmi_msghandler")};
const char kNoneLoaded[] =
    "module ipmi_msghandler = loadable\nmodule ipmi_devintf = loadable\n"
    "module ipmi_si = loadable\n";

TEST(DriverManager, ChecksLoadsAndUnloadsAsTheMachineRequires) {
    struct Case {
        const char* name;
        std::string scenario;
        int expectedStatus;
        std::vector<std::string> expectedCommands;
    };
    const Case cases[] = {
        {"all loaded", "", 0, kChecks},
        {"none loaded, all load", kNoneLoaded, 0, kAllThree},
        {"only ipmi_si missing and unloadable",
         "module ipmi_si = unloadable\n",
         0,
         {Check("ipmi_msghandler"), Check("ipmi_devintf"), Check("ipmi_si"), Load("ipmi_si"),
          Unload("ipmi_si")}},
        {"none loaded, no load works",
         "module ipmi_msghandler = unloadable\nmodule ipmi_devintf = unloadable\n"
         "module ipmi_si = unloadable\n",
         1, kAllThree},
        {"failing unload is only logged", std::string(kNoneLoaded) + "rmmod_failures ipmi_si = 1\n",
         0, kAllThree},
        {"VMware ESX",
         std::string(kNoneLoaded) + "file /etc/vmware-release = VMware ESX 4.1\n",
         0,
         {}},
        {"VMware ESXi", std::string(kNoneLoaded) + "uname.sysname = VMkernel\n", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset(c.scenario);
        {
            DriverManager manager;
            EXPECT_EQ(manager.IsIPMIDriverAvailable(), c.expectedStatus);
        }
        const std::vector<std::string> commands = sim::ShellCommands();
        EXPECT_EQ(commands, c.expectedCommands);
        // Every unload waits 3 seconds first; nothing else pauses.
        size_t unloads = 0;
        for (const std::string& command : commands) {
            unloads += command.rfind("rmmod ", 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(unloads, 3000));
        EXPECT_FALSE(sim::HasUnknownCommands());
    }
}

}  // namespace
