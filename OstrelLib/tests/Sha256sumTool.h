#pragma once
// Test helper: the real sha256sum's digest of a file, as the reference the
// library's digests are held against. The tool runs from fork and exec, not
// through the C library's spawning and shell calls that the simulated
// machine stands in for.

#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

inline std::string Sha256sumOf(const std::string& path) {
    int channel[2];
    if (pipe(channel) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        dup2(channel[1], STDOUT_FILENO);
        close(channel[0]);
        close(channel[1]);
        execl("/usr/bin/sha256sum", "sha256sum", "--", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(channel[1]);
    std::string output;
    char buffer[256];
    for (ssize_t count; (count = read(channel[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(count));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || output.size() < 64)
        throw std::runtime_error("sha256sum failed for " + path);
    return output.substr(0, 64);
}
