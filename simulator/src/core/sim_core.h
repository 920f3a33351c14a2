#pragma once
// The core of the simulated machine, shared by its two halves:
//  - the core (scenario, trace, virtual clock, sandbox, the interposed C
//    library calls and the emulated shell), and
//  - the devices (IPMI device and controller model, SCSI disks, FAT images,
//    mount and umount), which plug into the core through the registries below.
// Everything here is thread-safe: the library may call from several threads.

#include <sys/types.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim::core {

// ---- scenario -------------------------------------------------------------------
// Keys a scenario carries for whoever checks the run's outcome.
constexpr char kExpectationPrefix[] = "expect.";

class Scenario {
public:
    bool Has(const std::string& key) const;
    std::string Get(const std::string& key, const std::string& fallback = "") const;
    // Decimal or 0x hexadecimal; fallback when absent.
    long long Number(const std::string& key, long long fallback) const;
    // The value split at blanks.
    std::vector<std::string> List(const std::string& key) const;
    std::vector<long long> Numbers(const std::string& key) const;
    // Every key that starts with prefix, with its value, in file order.
    std::vector<std::pair<std::string, std::string>> WithPrefix(const std::string& prefix) const;
    // The `expect.KEY = VALUE` lines, KEY without the prefix, in file order.
    std::vector<std::pair<std::string, std::string>> Expectations() const;

    // Filled by the parser.
    std::vector<std::pair<std::string, std::string>> entries;
};
const Scenario& CurrentScenario();

// ---- trace ------------------------------------------------------------------------
// One JSON line: {"seq":N,"t_ms":T,"kind":KIND, ...fields}. Values that parse
// as integers are written as numbers only when passed as TraceNumber.
struct TraceField {
    std::string name;
    std::string text;
    bool number = false;
};
inline TraceField TraceText(std::string name, std::string text) {
    return {std::move(name), std::move(text), false};
}
inline TraceField TraceNumber(std::string name, long long value) {
    return {std::move(name), std::to_string(value), true};
}
void Trace(const std::string& kind, const std::vector<TraceField>& fields);
// The JSON text of a string, quotes included, and of an array of strings.
std::string JsonString(const std::string& text);
std::string JsonStringArray(const std::vector<std::string>& texts);
std::string HexBytes(const uint8_t* bytes, size_t count);  // "30 a1 01"

// ---- virtual clock ------------------------------------------------------------------
uint64_t NowMs();
// Advances the clock and records a "sleep" event with the given origin.
void Sleep(uint64_t ms, const char* via);

// ---- sandbox --------------------------------------------------------------------------
std::string SandboxRoot();
// The sandbox location of a machine path when the path belongs to the
// simulated machine, nothing otherwise.
std::optional<std::string> MapPath(const std::string& machinePath);
// The sandbox location of any absolute machine path.
std::string SandboxPathOf(const std::string& machinePath);

// ---- the real C library (resolved with dlsym(RTLD_NEXT)) ---------------------------------
int RealOpen(const char* path, int flags, int mode = 0);
int RealClose(int fd);
ssize_t RealWrite(int fd, const void* data, size_t size);
int RealIoctl(int fd, unsigned long request, void* arg);
// Runs a real program (argv[0] looked up in PATH) without a shell and without
// the simulator in its environment; returns its exit status, its standard
// output in *output when given.
int RunTool(const std::vector<std::string>& argv, std::string* output = nullptr);

// ---- device registries (filled by the devices half at start-up) ----------------------------
class FdDevice {
public:
    virtual ~FdDevice() = default;
    // -1 with errno set on failure, like ioctl.
    virtual int Ioctl(unsigned long request, void* arg) = 0;
    // Called just before Ioctl, without the machine mutex: where a hold point
    // may keep the calling thread waiting while the process's other threads
    // go on using the machine.
    virtual void BeforeIoctl(unsigned long /*request*/, const void* /*arg*/) {}
    // Whether select should report the descriptor readable.
    virtual bool ReadReady() { return false; }
    virtual void Closed() {}
};

// Called for every open of a simulated path whose sandbox file exists or that
// a device claims. Return a descriptor (and attach a device to it), -1 with
// errno for a refused open, or std::nullopt when the path is not the handler's.
using OpenHandler = std::function<std::optional<int>(const std::string& machinePath,
                                                     const std::string& sandboxPath, int flags)>;
void AddOpenHandler(OpenHandler handler);
void AttachDevice(int fd, std::shared_ptr<FdDevice> device);
std::shared_ptr<FdDevice> DeviceOf(int fd);

struct CommandResult {
    int exitStatus = 0;
    std::string output;
};
// Tried in order for every command line before the core's own emulation;
// std::nullopt means "not mine".
using CommandHandler = std::function<std::optional<CommandResult>(const std::string& line)>;
void AddCommandHandler(CommandHandler handler);

// Tried in order for every program started from an argument vector before
// the core's own emulation; argv[0] is the program as started (a bare name or
// a path), std::nullopt means "not mine".
using ProgramHandler =
    std::function<std::optional<CommandResult>(const std::vector<std::string>& argv)>;
void AddProgramHandler(ProgramHandler handler);
// The name a program is known by: the last part of a path in /bin, /sbin,
// /usr/bin or /usr/sbin, any other path as it is, a bare name as it is.
std::string ProgramName(const std::string& argv0);

// Kernel modules as the devices see them: whether the module's code is in
// the kernel (loaded, built in, or inserted though lsmod misses it), and
// whether the kernel has it or could load it on demand.
bool ModuleInKernel(const std::string& name);
bool ModuleLoadable(const std::string& name);
// A module's users, as the kernel counts them: rmmod refuses a module while
// something holds it (an open device node of its driver, say).
void HoldModule(const std::string& name);
void ReleaseModule(const std::string& name);
bool ModuleHeld(const std::string& name);
// Runs after modprobe or rmmod changed whether a module is in the kernel.
using ModuleHandler = std::function<void(const std::string& name)>;
void AddModuleHandler(ModuleHandler handler);

// Mounted file systems, as the devices half's mount table answers for them:
// of `bytes` about to be written to the file at machinePath, how many fit;
// and a flush (fsync of that file, or sync of everything for an empty path).
struct FileSystemHooks {
    std::function<size_t(const std::string& machinePath, size_t bytes)> reserve;
    std::function<void(const std::string& machinePath)> flush;
};
void SetFileSystemHooks(FileSystemHooks hooks);
size_t ReserveSpace(const std::string& machinePath, size_t bytes);
void FlushFileSystems(const std::string& machinePath = "");

// umount(2) of a simulated path: returns 0 or an errno value.
using UmountHandler = std::function<int(const std::string& machinePath)>;
void SetUmountHandler(UmountHandler handler);

// Runs after every advance of the virtual clock (a sleep, an expired select).
void AddClockHandler(std::function<void()> handler);

// Runs when a new machine starts (after the scenario is parsed and the
// sandbox laid out), so that each half can reset its own state.
void AddResetHandler(const std::function<void()>& handler);

// ---- the machine kept across processes (a named sandbox) ---------------------------------
// What the machine holds is saved in its sandbox as `KEY = VALUE` lines, each
// room writing and reading back its own keys, so that a later process on the
// same sandbox continues the machine (simulator/README.md, "One machine,
// several processes").
using StateLines = std::vector<std::pair<std::string, std::string>>;
struct StateHandler {
    std::function<void(StateLines& lines)> save;
    // Every line of the saved machine; a room takes its own keys.
    std::function<void(const StateLines& lines)> load;
};
void AddStateHandler(StateHandler handler);

// True while the reset handlers run for a process that continues a saved
// machine: they then set up only what the scenario says about behaviour
// (settings, faults); what the machine holds is loaded right after.
bool MachineContinues();

// Held for the whole of an operation that reads or changes what the machine
// holds (a controller request, a command line, a sleep, an open of a machine
// path, a umount, a write below a mount): takes the machine mutex and, for a
// kept machine, the sandbox's file lock, loads what another process saved
// meanwhile and saves the changes when the outermost one ends.
class MachineTransaction {
public:
    MachineTransaction();
    ~MachineTransaction();
    MachineTransaction(const MachineTransaction&) = delete;
    MachineTransaction& operator=(const MachineTransaction&) = delete;
};
// Saves what the machine holds now (before the process is killed).
void SaveMachineNow();
// Runs `wait` with the sandbox's file lock released, so that other processes
// can work on the machine meanwhile; what they changed is loaded afterwards.
void WithMachineReleased(const std::function<void()>& wait);

// A state value of named fields, written `NAME=VALUE NAME=VALUE ...`, the
// blanks, `%`, `=` and control bytes of a VALUE as %XX.
class StateRecord {
public:
    static StateRecord Of(const std::string& text);
    StateRecord& Add(const std::string& name, const std::string& value);
    StateRecord& Add(const std::string& name, long long value);
    std::string Text() const;
    std::string Get(const std::string& name) const;   // empty when absent
    long long Number(const std::string& name) const;  // 0 when absent or not a number

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// Registers at static-initialisation time: `static sim::core::Registration r([]{ ... });`
struct Registration {
    explicit Registration(const std::function<void()>& registerHandlers) { registerHandlers(); }
};

}  // namespace sim::core
