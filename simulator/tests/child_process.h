#pragma once
// Runs a real program from a test without a shell (system and popen are the
// simulator's in a test process): its standard output and error, and its exit
// status. The simulator's own variables are not inherited.

#include <link.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace simtest {

// LD_PRELOAD=<the simulator>, with the sanitizer runtime first when this test
// runs under AddressSanitizer (it must come first in a preloaded process too).
inline std::string SimulatorPreload() {
    std::string preload = SIM_LIBRARY;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.find("libasan.so") != std::string::npos) {
                *static_cast<std::string*>(data) = name + ":" + *static_cast<std::string*>(data);
            }
            return 0;
        },
        &preload);
    return "LD_PRELOAD=" + preload;
}

struct ChildResult {
    int exitStatus = -1;
    std::string output;
};

inline ChildResult RunChild(const std::vector<std::string>& argv,
                            const std::vector<std::string>& environment = {}) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (text.rfind("SIMMACHINE_", 0) != 0 && text.rfind("LD_PRELOAD=", 0) != 0) {
            variables.push_back(text);
        }
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    env.reserve(variables.size() + 1);
    for (const std::string& variable : variables)
        env.push_back(const_cast<char*>(variable.c_str()));
    env.push_back(nullptr);

    int pipeFds[2];
    ChildResult result;
    if (pipe(pipeFds) != 0)
        return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<size_t>(count));
    }
    close(pipeFds[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace simtest
