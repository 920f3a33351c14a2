#include "KORSystem.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

FileLock LockFile(const std::string& path) {
    FileLock lock;
    // Not blocking: the open must not wait on whatever stands at the path.
    lock.file.reset(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    if (!lock.file) {
        // ELOOP: a symbolic link.
        lock.problem = std::string("cannot be opened: ") + std::strerror(errno);
        return lock;
    }
    struct stat status {};
    if (::fstat(lock.file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        lock.problem = "is not a regular file";
        lock.file.reset();
        return lock;
    }
    if (::flock(lock.file.get(), LOCK_EX | LOCK_NB) == 0) {
        lock.state = FileLockState::Taken;
    } else if (errno == EWOULDBLOCK) {
        lock.state = FileLockState::HeldElsewhere;
    } else {
        lock.problem = std::string("cannot be locked: ") + std::strerror(errno);
        lock.file.reset();
    }
    return lock;
}

std::string ReadFileStart(int fd, std::size_t maxBytes) {
    std::string text(maxBytes, '\0');
    const ssize_t count = ::pread(fd, text.data(), maxBytes, 0);
    text.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return text;
}

bool ReplaceFileContent(int fd, const std::string& text) {
    return ::ftruncate(fd, 0) == 0 &&
           ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

int Unmount(const std::string& directory) {
    return ::umount2(directory.c_str(), UMOUNT_NOFOLLOW) == 0 ? 0 : errno;
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsOwnRegularFile(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_uid == ::geteuid();
}

bool PlaceMarkerFile(const std::string& path) {
    const KORHandles::Descriptor file(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    return static_cast<bool>(file);
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace KORSystem
