#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "real_libc.h"
#include "sim_core.h"

extern char** environ;

namespace sim::core {
namespace {

// The tool must run on the real machine, not inside another simulated one.
std::vector<std::string> ToolEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("LD_PRELOAD=", 0) == 0 || variable.rfind("SIMMACHINE_", 0) == 0) {
            continue;
        }
        environment.push_back(variable);
    }
    return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

int RunTool(const std::vector<std::string>& argv, std::string* output) {
    if (argv.empty())
        return -1;
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = ToolEnvironment();
    std::vector<char*> argumentPointers = Pointers(arguments);
    std::vector<char*> environmentPointers = Pointers(environment);

    int pipeEnds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
        if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t child = -1;
    const int spawned = Real().posix_spawnp(&child, arguments[0].c_str(), &actions, nullptr,
                                            argumentPointers.data(), environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (output != nullptr) {
        RealClose(pipeEnds[1]);
        output->clear();
        if (spawned == 0) {
            char buffer[4096];
            for (;;) {
                const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    break;
                output->append(buffer, static_cast<size_t>(got));
            }
        }
        RealClose(pipeEnds[0]);
    }
    if (spawned != 0)
        return -1;
    int status = 0;
    while (Real().waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

}  // namespace sim::core
