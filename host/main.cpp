// updatehost: stages a firmware update through the library the way the host
// firmware-update program does, checks a package, or runs one named IPMI
// command. Built for operators' scripts: it never prompts, its exit status
// follows one documented table (ExitStatus.h, --help), and with --json its
// standard output is exactly one JSON object while all human text goes to
// standard error.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Heartbeat.h"
#include "Json.h"
#include "JsonReport.h"
#include "PackageCheck.h"
#include "PackageTrust.h"
#include "RecordPrinter.h"
#include "Signals.h"
#include "StatusCommand.h"
#include "UpdateLibrary.h"
#include "UpdateTimeBounds.h"

namespace {

namespace fs = std::filesystem;

// The build names the library's file (the project's version in it).
const char* const kLibraryFileName = KOR_LIBRARY_FILE_NAME;
constexpr std::chrono::seconds kHeartbeatInterval{10};

std::string InterruptNotice() {
    return "updatehost: interrupt deferred: the update ends by itself within its bounds (at "
           "most " +
           std::to_string(UpdateTimeBoundSeconds()) +
           " s of waits); stopping it now would leave the controller mid-update. Send the "
           "signal again to stop it anyway.";
}

const char* const kUsage =
    "usage: updatehost [--json] [--library FILE] [--updates N] [PACKAGE-DIR]\n"
    "       updatehost --check [--json] [--library FILE] [PACKAGE-DIR]\n"
    "       updatehost --status [--json] [--library FILE] [PACKAGE-DIR]\n"
    "       updatehost [--library FILE] ipmi COMMAND-NAME [PACKAGE-DIR]\n"
    "       updatehost --help\n";

const char* const kHelp =
    "Stages the firmware update of PACKAGE-DIR (default: the working directory)\n"
    "onto the management controller. The library reads the package's files from\n"
    "PACKAGE-DIR, which updatehost makes its working directory, but takes the\n"
    "payload from beside the running program: updatehost and the library must lie\n"
    "in PACKAGE-DIR itself, and an update of any other directory is refused.\n"
    "\n"
    "  --check        validate PACKAGE-DIR and say what an update would do; loads\n"
    "                 the library only to see that it loads, never starts an\n"
    "                 update and never contacts the controller\n"
    "  --status       say whether an update runs on this machine (the update lock\n"
    "                 and its holder's process id), what the controller holds\n"
    "                 (its partitions, whether an update session is open; asked\n"
    "                 with the library and PACKAGE-DIR's ipmi_cmd.ini) and what\n"
    "                 the machine holds (a mount on /tmp/SECUPD, /dev/secostupd-*\n"
    "                 links, staging udev rules); changes nothing. Exits 0 when\n"
    "                 nothing runs and nothing is left, 8 while an update runs,\n"
    "                 9 when one left something behind\n"
    "  --json         standard output is one JSON object (schema_version 1);\n"
    "                 progress and messages go to standard error\n"
    "  --library FILE the library to load (default: beside this program)\n"
    "  --updates N    run N updates one after the other (default 1)\n"
    "  ipmi NAME      run one command of ipmi_cmd.ini and print its answer\n"
    "\n"
    "Run as root, updatehost loads and runs nothing that another user could have\n"
    "changed: PACKAGE-DIR, the files read from it (package.xml, ipmi_cmd.ini, the\n"
    "udev rules, payload/, ...), updatehost and the library must be root's,\n"
    "writable by nobody else and no link out of the package, and no directory on\n"
    "the way to them may be another user's or writable by others without the\n"
    "sticky bit (status 7; --check lists each such path as a problem).\n"
    "\n"
    "A hang-up, or a closed standard output or error, never stops updatehost.\n"
    "While an update runs, the first SIGINT or SIGTERM is deferred: the update\n"
    "ends by itself within its bounds and updatehost exits with its status, the\n"
    "JSON report saying \"interrupt_requested\": true. A second one stops it at\n"
    "once and leaves the controller mid-update (see the README for what the next\n"
    "update clears).\n"
    "\n";

struct Options {
    std::string libraryPath;
    std::string packageDirectory = ".";
    bool json = false;
    bool check = false;
    bool status = false;
    bool help = false;
    int updates = 1;
    std::string ipmiCommand;  // empty: run an update
};

std::string ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "";
}

std::string ExecutableDirectory() {
    const std::string path = ExecutablePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    options.libraryPath = ExecutableDirectory() + "/" + kLibraryFileName;
    bool directoryGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--library" && i + 1 < argc) {
            // Absolute: the library is loaded from the package directory.
            std::error_code error;
            options.libraryPath = fs::absolute(argv[++i], error).string();
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--check") {
            options.check = true;
        } else if (argument == "--status") {
            options.status = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--updates" && i + 1 < argc) {
            char* end = nullptr;
            const long updates = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || updates < 1 || updates > 1000) {
                return false;
            }
            options.updates = static_cast<int>(updates);
        } else if (argument == "ipmi" && i + 1 < argc && options.ipmiCommand.empty()) {
            options.ipmiCommand = argv[++i];
        } else if (!argument.empty() && argument[0] != '-' && !directoryGiven) {
            options.packageDirectory = argument;
            directoryGiven = true;
        } else {
            return false;
        }
    }
    // One mode at a time; the pass-through prints the controller's answer as
    // text only.
    const int modes = int{options.check} + int{options.status} + int{!options.ipmiCommand.empty()};
    return modes <= 1 && (options.ipmiCommand.empty() || !options.json);
}

const char* ModeName(const Options& options) {
    return options.check ? "check" : options.status ? "status" : "update";
}

// untrusted: what another user could have changed; the library is then not
// even loaded, and the check fails as an update would.
int RunCheck(const Options& options, const std::string& directory,
             const std::vector<std::string>& untrusted, ReportChannel& channel) {
    PackageReport report =
        CheckPackage(directory, ExecutableDirectory(), options.libraryPath, untrusted.empty());
    report.problems.insert(report.problems.begin(), untrusted.begin(), untrusted.end());
    std::ostream& out = channel.Json() ? std::cerr : std::cout;
    for (const std::string& problem : report.problems) {
        out << "problem: " << problem << "\n";
    }
    for (const std::string& note : report.notes) {
        out << "note: " << note << "\n";
    }
    const Outcome outcome = OutcomeOf(!untrusted.empty()        ? ExitStatus::PackageNotTrusted
                                      : report.problems.empty() ? ExitStatus::Success
                                                                : ExitStatus::PackageNotFound);
    if (report.problems.empty()) {
        out << DescribeUpdate(report) << "\n";
    }
    std::vector<std::string> problems, notes;
    for (const std::string& problem : report.problems) {
        problems.push_back(JsonString(problem));
    }
    for (const std::string& note : report.notes) {
        notes.push_back(JsonString(note));
    }
    JsonObject json = Report("check", outcome);
    json.Raw("package", JsonObject()
                            .String("directory", directory)
                            .String("name", report.name)
                            .String("version", report.version)
                            .String("releaseID", report.releaseID)
                            .String("componentID", report.componentID)
                            .Number("payloadFiles", report.payloadFiles)
                            .Number("payloadBytes", report.payloadBytes)
                            .Text())
        .Raw("problems", JsonArray(problems))
        .Raw("notes", JsonArray(notes));
    if (report.problems.empty()) {
        json.String("would", DescribeUpdate(report));
    } else {
        json.Raw("error", ErrorObject(std::nullopt, report.problems.front(), outcome));
    }
    return channel.Finish(outcome, json.Text());
}

int RunUpdates(const Options& options, const std::string& directory, ReportChannel& channel) {
    std::error_code error;
    if (!fs::equivalent(directory, ExecutableDirectory(), error)) {
        return channel.Fail(ExitStatus::PackageNotFound, "update",
                            "the library takes the payload from beside the program (" +
                                ExecutableDirectory() + "), not from " + directory +
                                ": copy updatehost and the library into the package directory");
    }
    std::unique_ptr<UpdateLibrary> library;
    try {
        library = std::make_unique<UpdateLibrary>(options.libraryPath);
    } catch (const std::exception& failure) {
        return channel.Fail(ExitStatus::PackageNotFound, "update", failure.what());
    }
    std::vector<std::string> records;
    std::optional<Outcome> failed;
    std::optional<int> failedCode;
    std::string failedMessage;
    bool interrupted = false;
    // An interrupt lets the running update end, and starts no other.
    for (int update = 0; update < options.updates && !interrupted; ++update) {
        // Every update gets an object of its own, as a host that updates
        // several components in one process does.
        std::unique_ptr<IDeviceExecution> execution;
        std::vector<CDeviceInfo*> returned;
        try {
            execution.reset(library->CreateUpdate());
            if (!execution) {
                return channel.Fail(ExitStatus::UpdateFailed, "update",
                                    "the library handed out no update object");
            }
            std::cerr << "updatehost: staging the update of " << directory << "\n";
            const DeferredInterrupts interrupts(InterruptNotice());
            Heartbeat heartbeat(std::cerr, "update running", kHeartbeatInterval);
            returned = execution->Update();
            interrupted = interrupts.Requested();
        } catch (const std::exception& failure) {
            return channel.Fail(ExitStatus::UpdateFailed, "update",
                                std::string("the library threw: ") + failure.what());
        }
        execution.reset();
        if (!channel.Json()) {
            PrintRecordsAsText(returned, std::cout);
        }
        if (returned.empty() && !failed) {
            failed = OutcomeOf(ExitStatus::UpdateFailed);
            failedMessage = "the update returned no device record";
        }
        for (CDeviceInfo* record : returned) {
            records.push_back(RecordAsJson(*record));
            if (record->getStatus() != 0 && !failed) {
                failed = OutcomeOfCode(record->getStatus());
                failedCode = record->getStatus();
                failedMessage = record->getErrorMsg();
            }
            delete record;
        }
    }
    const Outcome outcome = failed ? *failed : OutcomeOf(ExitStatus::Success);
    std::cerr << "updatehost: " << outcome.name << (failed ? ": " + failedMessage : std::string())
              << "\n";
    JsonObject json = Report("update", outcome, !failed);
    json.Raw("records", JsonArray(records)).Bool("interrupt_requested", interrupted);
    if (failed) {
        json.Raw("error", ErrorObject(failedCode, failedMessage, outcome));
    }
    return channel.Finish(outcome, json.Text());
}

int RunIpmiCommand(const Options& options) {
    std::unique_ptr<UpdateLibrary> library;
    try {
        library = std::make_unique<UpdateLibrary>(options.libraryPath);
    } catch (const std::exception& error) {
        std::cerr << "updatehost: " << error.what() << "\n";
        return static_cast<int>(ExitStatus::PackageNotFound);
    }
    // The library stays loaded while its exception is handled: the
    // exception's code lives in it.
    try {
        std::vector<unsigned char> response;
        const unsigned int completionCode = library->RunIpmiCommand(options.ipmiCommand, response);
        PrintResponse(completionCode, response, std::cout);
        return static_cast<int>(completionCode == 0 ? ExitStatus::Success
                                                    : ExitStatus::UpdateFailed);
    } catch (const std::exception& error) {
        // The pass-through throws only when the command catalogue cannot be
        // loaded.
        std::cerr << "updatehost: the library threw: " << error.what() << "\n";
        return static_cast<int>(ExitStatus::PackageNotFound);
    }
}

// What --help prints after the options: the exit statuses and how long an
// update may take.
std::string HelpTables() {
    return "Exit status, by the code of the first failed record (with --json, the\n"
           "error's \"retryable\" is true exactly for the statuses marked so):\n" +
           ExitStatusTable() + "\nAn update ends by itself within " +
           std::to_string(UpdateTimeBoundSeconds()) +
           " s, the sum of its bounded waits, each\n"
           "at its bound once. A supervisor's time limit for one update (Ansible's\n"
           "async) must not be shorter; " +
           std::to_string(SupervisorTimeLimitSeconds()) +
           " s leaves room for the work between the\n"
           "waits:\n" +
           UpdateTimeBoundTable();
}

// Descriptors 0 to 2 stay open: a file the process opens later would
// otherwise take a closed one's number and receive the progress text.
void KeepStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int nothing = open("/dev/null", O_RDWR);
            if (nothing >= 0 && nothing != fd) {
                dup2(nothing, fd);
                close(nothing);
            }
        }
    }
    // Nothing the library runs may wait for an answer from a terminal.
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing >= 0) {
        dup2(nothing, STDIN_FILENO);
        close(nothing);
    }
}

int RefuseUntrusted(const std::vector<std::string>& untrusted, const char* mode,
                    ReportChannel& channel) {
    for (const std::string& problem : untrusted) {
        std::cerr << "updatehost: not trusted: " << problem << "\n";
    }
    std::string message =
        "refusing to load or run anything from a package another user could "
        "have changed: " +
        untrusted.front();
    if (untrusted.size() > 1) {
        message += " (and " + std::to_string(untrusted.size() - 1) + " more)";
    }
    return channel.Fail(ExitStatus::PackageNotTrusted, mode, message);
}

}  // namespace

int main(int argc, char** argv) {
    KeepStandardDescriptors();
    SurviveHangupAndBrokenPipe();
    Options options;
    const bool parsed = ParseOptions(argc, argv, options);
    if (parsed && options.help) {
        std::cout << kUsage << "\n" << kHelp << HelpTables();
        return static_cast<int>(ExitStatus::Success);
    }
    ReportChannel channel(options.json);
    const char* mode = ModeName(options);
    if (!parsed) {
        std::cerr << kUsage;
        return channel.Fail(ExitStatus::UsageError, mode, "bad command line");
    }
    std::error_code error;
    const fs::path directory = fs::canonical(options.packageDirectory, error);
    if (error || !fs::is_directory(directory)) {
        return channel.Fail(ExitStatus::PackageNotFound, mode,
                            "no package directory " + options.packageDirectory);
    }
    // The library reads its configuration and the descriptor from the working
    // directory.
    if (chdir(directory.c_str()) != 0) {
        return channel.Fail(ExitStatus::PackageNotFound, mode,
                            "cannot enter " + directory.string());
    }
    const std::vector<std::string> untrusted =
        UntrustedPackagePaths(directory.string(), {ExecutablePath(), options.libraryPath});
    if (options.check) {
        return RunCheck(options, directory.string(), untrusted, channel);
    }
    if (!untrusted.empty()) {
        return RefuseUntrusted(untrusted, mode, channel);
    }
    if (!options.ipmiCommand.empty()) {
        return RunIpmiCommand(options);
    }
    return options.status ? RunStatus(options.libraryPath, directory.string(), channel)
                          : RunUpdates(options, directory.string(), channel);
}
