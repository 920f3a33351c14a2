// posix_spawn, posix_spawnp and the matching waitpid run nothing: the
// emulated programs answer, and the "child" is a number whose wait status
// waits in a table until its parent collects it.

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "machine.h"
#include "real_libc.h"
#include "shell_emulation.h"

namespace sim::core {
namespace {

// Above the kernel's largest process id, so never a real child's.
constexpr pid_t kFirstEmulatedChild = 1 << 30;

struct EmulatedChildren {
    pid_t next = kFirstEmulatedChild;
    std::map<pid_t, int> exited;  // wait status of each child not yet waited for
};

// Children outlive a reset of the machine: their parent still waits for them.
EmulatedChildren& Children() {
    static auto* children = new EmulatedChildren;
    return *children;
}

int Spawn(pid_t* pid, const char* file, char* const argv[]) {
    if (file == nullptr)
        return EINVAL;
    std::vector<std::string> arguments;
    for (size_t i = 0; argv != nullptr && argv[i] != nullptr; ++i)
        arguments.emplace_back(argv[i]);
    // The program is the one named by `file`; argv[0] is only what it is called.
    if (arguments.empty())
        arguments.emplace_back(file);
    else
        arguments[0] = file;
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const int exitStatus = RunProgram(arguments).exitStatus;
    const pid_t child = Children().next++;
    Children().exited[child] = (exitStatus & 0xff) << 8;
    if (pid != nullptr)
        *pid = child;
    return 0;
}

// The emulated child `pid` stands for (-1 and 0: any), if there is one.
std::optional<pid_t> EmulatedChild(pid_t pid) {
    const auto& exited = Children().exited;
    if (pid == -1 || pid == 0)
        return exited.empty() ? std::nullopt : std::optional<pid_t>(exited.begin()->first);
    return exited.count(pid) != 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

}  // namespace
}  // namespace sim::core

extern "C" {

int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t*,
                const posix_spawnattr_t*, char* const argv[], char* const[]) {
    return sim::core::Spawn(pid, path, argv);
}

int posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t*,
                 const posix_spawnattr_t*, char* const argv[], char* const[]) {
    return sim::core::Spawn(pid, file, argv);
}

pid_t waitpid(pid_t pid, int* status, int options) {
    {
        std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
        if (const std::optional<pid_t> child = sim::core::EmulatedChild(pid)) {
            if (status != nullptr)
                *status = sim::core::Children().exited[*child];
            sim::core::Children().exited.erase(*child);
            return *child;
        }
    }
    return sim::core::Real().waitpid(pid, status, options);
}

}  // extern "C"
