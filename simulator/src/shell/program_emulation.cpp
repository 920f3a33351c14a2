// Programs started from an argument vector (posix_spawn): the same programs
// the emulated shell knows, judged by their arguments instead of a whole line.

#include <sys/stat.h>

#include <map>
#include <mutex>

#include "device_registry.h"
#include "hold_points.h"
#include "machine.h"
#include "real_files.h"
#include "real_libc.h"
#include "shell_actions.h"
#include "shell_emulation.h"

namespace sim::core {
namespace {

using Arguments = std::vector<std::string>;  // without the program itself
using Emulation = std::optional<CommandResult> (*)(const Arguments&, MachineSettings&);

// Splits leading options (single letters, possibly grouped as in "-rf") from
// the operands; false when an option has a letter outside `allowed`.
bool SplitOptions(const Arguments& arguments, const std::string& allowed, std::string* letters,
                  Arguments* operands) {
    size_t index = 0;
    for (; index < arguments.size(); ++index) {
        const std::string& word = arguments[index];
        if (word == "--") {
            ++index;
            break;
        }
        if (word.size() < 2 || word[0] != '-')
            break;
        for (size_t i = 1; i < word.size(); ++i) {
            if (allowed.find(word[i]) == std::string::npos)
                return false;
            *letters += word[i];
        }
    }
    operands->assign(arguments.begin() + static_cast<long>(index), arguments.end());
    return true;
}

bool Has(const std::string& letters, char letter) {
    return letters.find(letter) != std::string::npos;
}

// Runs `action` on every operand; unknown when one lies outside the machine.
template <typename Action>
std::optional<CommandResult> EachOperand(const Arguments& operands, Action action) {
    if (operands.empty())
        return std::nullopt;
    bool done = true;
    for (const std::string& operand : operands) {
        const std::optional<CommandResult> result = action(operand);
        if (!result)
            return std::nullopt;
        done = result->exitStatus == 0 && done;
    }
    return Succeeds(done);
}

std::optional<CommandResult> Copy(const Arguments& arguments, MachineSettings&) {
    std::string letters;
    Arguments operands;
    if (!SplitOptions(arguments, "fHLPp", &letters, &operands) || operands.size() < 2)
        return std::nullopt;
    const std::string target = operands.back();
    operands.pop_back();
    if (operands.size() > 1) {
        const std::optional<std::string> mapped = MapPath(target);
        if (mapped && !files::IsDirectory(*mapped))
            return Exit(1);
    }
    return EachOperand(operands,
                       [&target](const std::string& source) { return CopyInto(source, target); });
}

std::optional<CommandResult> MakeDirectory(const Arguments& arguments, MachineSettings&) {
    std::string letters;
    Arguments operands;
    if (!SplitOptions(arguments, "p", &letters, &operands))
        return std::nullopt;
    const bool parents = Has(letters, 'p');
    return EachOperand(operands, [parents](const std::string& path) {
        return OnMachinePath(path, [parents](const std::string& sandboxPath) {
            return parents ? files::MakeDirectories(sandboxPath)
                           : Real().mkdir(sandboxPath.c_str(), 0755) == 0;
        });
    });
}

std::optional<CommandResult> Remove(const Arguments& arguments, MachineSettings&) {
    std::string letters;
    Arguments operands;
    if (!SplitOptions(arguments, "rRf", &letters, &operands))
        return std::nullopt;
    const bool recursive = Has(letters, 'r') || Has(letters, 'R');
    const bool force = Has(letters, 'f');
    return EachOperand(operands, [recursive, force](const std::string& path) {
        return OnMachinePath(path, [recursive, force](const std::string& sandboxPath) {
            struct stat info;
            // No shell expands a pattern here: "*" is a name like any other.
            if (Real().lstat(sandboxPath.c_str(), &info) != 0)
                return force;
            return recursive ? files::RemoveTree(sandboxPath) : RemoveFile(sandboxPath);
        });
    });
}

std::optional<CommandResult> MakeLink(const Arguments& arguments, MachineSettings&) {
    std::string letters;
    Arguments operands;
    if (!SplitOptions(arguments, "sfn", &letters, &operands) || !Has(letters, 's') ||
        operands.size() != 2) {
        return std::nullopt;
    }
    if (!Has(letters, 'f')) {
        const std::optional<std::string> where = MapPath(operands[1]);
        struct stat info;
        if (where && !files::IsDirectory(*where) && Real().lstat(where->c_str(), &info) == 0)
            return Exit(1);
    }
    return Link(operands[0], operands[1]);
}

std::optional<CommandResult> ChangeModes(const Arguments& arguments, MachineSettings&) {
    if (arguments.size() < 2 || arguments[0].find_first_not_of("01234567") != std::string::npos)
        return std::nullopt;
    const unsigned mode = static_cast<unsigned>(std::stoul(arguments[0], nullptr, 8));
    return EachOperand(Arguments(arguments.begin() + 1, arguments.end()),
                       [mode](const std::string& path) { return ChangeMode(path, mode); });
}

std::optional<CommandResult> LoadModule(const Arguments& arguments, MachineSettings& settings) {
    if (arguments.size() == 2 && arguments[0] == "-r")
        return Rmmod(settings, arguments[1]);
    if (arguments.size() != 1 || arguments[0][0] == '-')
        return std::nullopt;
    return Modprobe(settings, arguments[0]);
}

std::optional<CommandResult> UnloadModule(const Arguments& arguments, MachineSettings& settings) {
    if (arguments.size() != 1 || arguments[0][0] == '-')
        return std::nullopt;
    return Rmmod(settings, arguments[0]);
}

std::optional<CommandResult> ListModules(const Arguments& arguments, MachineSettings& settings) {
    if (!arguments.empty())
        return std::nullopt;
    std::string listing = "Module                  Size  Used by\n";
    for (const auto& [name, module] : settings.modules) {
        if (ModuleListed(settings, name))
            listing +=
                name + std::string(24 - std::min<size_t>(name.size(), 23), ' ') + "16384  0\n";
    }
    return Exit(0, listing);
}

std::optional<CommandResult> Unmount(const Arguments& arguments, MachineSettings&) {
    if (arguments.size() != 1 || arguments[0][0] != '/')
        return std::nullopt;
    // umount(8) exits with 32 when the umount(2) under it fails.
    return Exit(SimulatedUmount(arguments[0].c_str()) == 0 ? 0 : 32);
}

std::optional<CommandResult> Synchronise(const Arguments& arguments, MachineSettings&) {
    if (!arguments.empty())
        return std::nullopt;
    FlushFileSystems();
    return Exit(0);
}

std::optional<CommandResult> Haldaemon(const Arguments& arguments, MachineSettings& settings) {
    if (arguments.size() != 1)
        return std::nullopt;
    if (arguments[0] == "status")
        return HaldaemonStatus(settings);
    if (arguments[0] == "start" || arguments[0] == "stop")
        return HaldaemonSwitch(settings, arguments[0]);
    return std::nullopt;
}

std::optional<CommandResult> Udevadm(const Arguments& arguments, MachineSettings&) {
    if (arguments.empty() || arguments[0] != "control")
        return std::nullopt;
    return ProgramRuns("/sbin/udevadm");
}

const std::map<std::string, Emulation>& Programs() {
    static const std::map<std::string, Emulation> programs = {
        {"cp", Copy},
        {"mkdir", MakeDirectory},
        {"rm", Remove},
        {"ln", MakeLink},
        {"chmod", ChangeModes},
        {"modprobe", LoadModule},
        {"rmmod", UnloadModule},
        {"lsmod", ListModules},
        {"umount", Unmount},
        {"sync", Synchronise},
        {"/etc/init.d/haldaemon", Haldaemon},
        {"udevadm", Udevadm},
    };
    return programs;
}

std::optional<CommandResult> Emulate(const std::vector<std::string>& argv,
                                     MachineSettings& settings) {
    const auto it = Programs().find(ProgramName(argv[0]));
    if (it == Programs().end())
        return std::nullopt;
    return it->second(Arguments(argv.begin() + 1, argv.end()), settings);
}

}  // namespace

std::string ProgramName(const std::string& argv0) {
    const size_t slash = argv0.rfind('/');
    if (slash == std::string::npos)
        return argv0;
    const std::string directory = argv0.substr(0, slash);
    for (const char* system : {"/bin", "/sbin", "/usr/bin", "/usr/sbin"}) {
        if (directory == system)
            return argv0.substr(slash + 1);
    }
    return argv0;
}

std::string ShellQuoted(const std::string& word) {
    const char kPlain[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_@%+=:,./-";
    if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos)
        return word;
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

CommandResult RunProgram(const std::vector<std::string>& argv) {
    const MachineTransaction transaction;
    std::string line;
    for (const std::string& word : argv)
        line += (line.empty() ? "" : " ") + ShellQuoted(word);
    ReachPoint(PointKind::kCommand, line);
    MachineSettings& settings = RunningMachine().settings;
    std::optional<CommandResult> result = CommandOverride(settings, line);
    if (!result && !argv.empty())
        result = RunProgramHandlers(argv);
    if (!result && !argv.empty())
        result = Emulate(argv, settings);
    const bool known = result.has_value();
    if (!known)
        result = Exit(kNotFound);
    RecordShell(line, "spawn", result->exitStatus, known,
                {TraceField{"argv", JsonStringArray(argv), true}});
    return *result;
}

}  // namespace sim::core
