#include "machine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>

#include "device_registry.h"
#include "machine_store.h"
#include "real_files.h"
#include "sandbox.h"

namespace sim::core {
namespace {

Machine* g_machine = nullptr;
pid_t g_creator = 0;  // the process that made the sandboxes: forked children leave them alone
bool g_continuing = false;

void RemoveSandboxAtExit() {
    if (g_machine == nullptr || !g_machine->ownSandbox || getpid() != g_creator)
        return;
    if (std::getenv("SIMMACHINE_KEEP") != nullptr)
        return;
    files::RemoveTree(g_machine->sandbox);
}

void Stop() {
    if (g_machine == nullptr)
        return;
    if (g_machine->traceFd >= 0)
        RealClose(g_machine->traceFd);
    if (g_machine->storeLock >= 0)
        RealClose(g_machine->storeLock);
    if (g_machine->ownSandbox)
        files::RemoveTree(g_machine->sandbox);
    delete g_machine;
    g_machine = nullptr;
    ClearDevices();
}

// The simulator writes nowhere but below /tmp.
void RequireBelowTmp(const std::string& what, const std::string& path) {
    const std::string normal = NormalizePath(path);
    if (normal.compare(0, 5, "/tmp/") != 0 || normal.size() == 5 || IsSimulatedPath(normal)) {
        throw std::runtime_error("simmachine: " + what + " must lie below /tmp: '" + path + "'");
    }
}

std::string MakeSandbox() {
    char name[] = "/tmp/simmachine-XXXXXX";
    if (mkdtemp(name) == nullptr) {
        throw std::runtime_error(std::string("simmachine: cannot make a sandbox below /tmp: ") +
                                 std::strerror(errno));
    }
    return name;
}

// The devices half judges its own keys and names the key in its complaint;
// the complaint gets the file and line of that key.
std::string Located(const ParsedScenario& parsed, const std::string& problem) {
    if (problem.rfind("scenario ", 0) == 0)
        return problem;
    const auto& entries = parsed.scenario.entries;
    for (size_t i = entries.size(); i > 0; --i) {
        const std::string& key = entries[i - 1].first;
        if (problem.compare(0, key.size() + 1, key + ":") == 0) {
            return "scenario " + parsed.origin + ":" + std::to_string(parsed.lines[i - 1]) + ": " +
                   problem;
        }
    }
    return "scenario " + parsed.origin + ": " + problem;
}

// Unlocks a kept machine's file lock when it goes out of scope.
class StoreRelease {
public:
    explicit StoreRelease(int lock) : lock_(lock) {}
    ~StoreRelease() {
        if (lock_ >= 0)
            flock(lock_, LOCK_UN);
    }
    StoreRelease(const StoreRelease&) = delete;
    StoreRelease& operator=(const StoreRelease&) = delete;

private:
    int lock_;
};

// Under the sandbox's file lock for a kept machine: two processes starting
// at once on one sandbox make one machine, and the second continues it.
void Install(ParsedScenario parsed, const std::string& sandbox, bool own, bool kept,
             const std::string& tracePath) {
    Stop();
    auto machine = std::make_unique<Machine>();
    machine->parsed = std::move(parsed);
    machine->settings = MachineSettings::FromScenario(machine->parsed.scenario);
    machine->sandbox = NormalizePath(sandbox);
    machine->ownSandbox = own;
    machine->kept = kept;
    machine->tracePath = tracePath;
    std::optional<std::string> saved;
    if (kept) {
        LockStore(*machine);
        saved = StoredState(*machine);
    }
    // However the start ends, other processes may go on with the machine.
    const StoreRelease release(machine->storeLock);
    files::MakeDirectories(files::ParentOf(tracePath));
    // A continued machine's trace goes on where the last process left it.
    machine->traceFd = RealOpen(
        tracePath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (saved ? 0 : O_TRUNC), 0644);
    if (machine->traceFd < 0) {
        const std::string problem = std::strerror(errno);
        if (own)
            files::RemoveTree(machine->sandbox);
        if (machine->storeLock >= 0)
            RealClose(machine->storeLock);
        throw std::runtime_error("simmachine: cannot write the trace " + tracePath + ": " +
                                 problem);
    }
    g_machine = machine.release();
    if (g_creator == 0) {
        g_creator = getpid();
        std::atexit(RemoveSandboxAtExit);
    }
    if (!saved)
        LayOutSandbox(*g_machine);
    g_continuing = saved.has_value();
    try {
        RunResetHandlers();
    } catch (const std::runtime_error& error) {
        g_continuing = false;
        throw std::runtime_error(Located(g_machine->parsed, error.what()));
    }
    g_continuing = false;
    if (saved)
        LoadState(*g_machine, *saved);
    if (kept)
        SaveState(*g_machine);
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void StartFromEnvironment() {
    try {
        const std::string scenarioPath = Variable("SIMMACHINE_SCENARIO");
        std::string text;
        std::string origin = "<empty>";
        if (!scenarioPath.empty()) {
            origin = scenarioPath;
            if (!files::ReadFile(origin, &text)) {
                throw std::runtime_error("scenario " + origin +
                                         ": cannot read it: " + std::strerror(errno));
            }
        }
        ParsedScenario parsed = ParseScenario(text, origin);
        // Everything is checked before anything is made.
        const std::string sandboxVariable = Variable("SIMMACHINE_SANDBOX");
        const std::string traceVariable = Variable("SIMMACHINE_TRACE");
        if (!sandboxVariable.empty())
            RequireBelowTmp("SIMMACHINE_SANDBOX", sandboxVariable);
        if (!traceVariable.empty())
            RequireBelowTmp("SIMMACHINE_TRACE", traceVariable);
        // A sandbox somebody named is theirs to keep, and keeps its machine.
        if (!sandboxVariable.empty()) {
            StartMachineIn(
                std::move(parsed), sandboxVariable,
                traceVariable.empty() ? sandboxVariable + "/trace.jsonl" : traceVariable);
            return;
        }
        const std::string sandbox = MakeSandbox();
        Install(std::move(parsed), sandbox, true, false,
                traceVariable.empty() ? sandbox + "/trace.jsonl" : traceVariable);
    } catch (const std::exception& error) {
        const std::string message = std::string(error.what()) + "\n";
        ssize_t ignored = ::write(STDERR_FILENO, message.data(), message.size());
        (void)ignored;
        _exit(2);
    }
}

}  // namespace

std::recursive_mutex& MachineMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

Machine& RunningMachine() {
    if (g_machine == nullptr)
        StartFromEnvironment();
    return *g_machine;
}

bool MachineRunning() {
    return g_machine != nullptr;
}

void StartMachine(ParsedScenario parsed) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const std::string sandbox = MakeSandbox();
    Install(std::move(parsed), sandbox, true, false, sandbox + "/trace.jsonl");
}

void StartMachineIn(ParsedScenario parsed, const std::string& sandbox,
                    const std::string& tracePath) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    RequireBelowTmp("the sandbox", sandbox);
    RequireBelowTmp("the trace", tracePath);
    if (!files::MakeDirectories(sandbox))
        throw std::runtime_error("simmachine: cannot make the sandbox " + sandbox);
    Install(std::move(parsed), sandbox, false, true, tracePath);
}

bool MachineContinues() {
    return g_continuing;
}

const Scenario& CurrentScenario() {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    return RunningMachine().parsed.scenario;
}

std::string EntryOrigin(const Scenario& scenario, size_t index) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    if (g_machine == nullptr || &scenario != &g_machine->parsed.scenario ||
        index >= g_machine->parsed.lines.size()) {
        return "scenario";
    }
    return "scenario " + g_machine->parsed.origin + ":" +
           std::to_string(g_machine->parsed.lines[index]);
}

}  // namespace sim::core
