#include "KORSystem.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "KORHandles.h"

extern char** environ;

namespace KORSystem {

bool CommandStatus::Succeeded() const {
    return ExitCode() == 0;
}

bool CommandStatus::Exited() const {
    return raw != -1 && WIFEXITED(raw);
}

int CommandStatus::ExitCode() const {
    return Exited() ? WEXITSTATUS(raw) : -1;
}

CommandStatus RunCommandLine(const std::string& commandLine) {
    return CommandStatus{std::system(commandLine.c_str())};
}

CommandStatus RunCommandLineWithUmask(const std::string& commandLine, unsigned int mask) {
    const mode_t previous = ::umask(static_cast<mode_t>(mask));
    const CommandStatus status = RunCommandLine(commandLine);
    ::umask(previous);
    return status;
}

CommandOutput ReadCommandOutput(const std::string& commandLine, std::size_t maxOutputBytes) {
    CommandOutput result;
    KORHandles::Pipe pipe(popen(commandLine.c_str(), "r"));
    if (!pipe) {
        return result;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        const std::size_t room = maxOutputBytes - result.output.size();
        result.output.append(buffer, count < room ? count : room);
    }
    result.status.raw = pipe.reset();
    return result;
}

CommandStatus RunProgram(const std::vector<std::string>& argv, ProgramOutput output) {
    if (argv.empty()) {
        return CommandStatus{};
    }
    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output == ProgramOutput::Discarded) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t child = 0;
    const int spawned =
        posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return CommandStatus{};
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return CommandStatus{};
        }
    }
    return CommandStatus{status};
}

void SleepSeconds(unsigned int seconds) {
    // sleep() returns what a signal left of the pause.
    while (seconds > 0) {
        seconds = ::sleep(seconds);
    }
}

void SleepMilliseconds(unsigned long long milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>((milliseconds % 1000) * 1000000)};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace KORSystem
