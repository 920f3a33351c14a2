#pragma once
// The one place where the libraries reach the operating system to pause, to
// run something (a shell command line, with its exit status or its output,
// or a program started from an argument vector, which no shell ever
// interprets) or to prepare the directory they mount on. Keeping every such
// contact here gives a reviewer (and the simulated machine) one short list of
// what the library does to the machine.

#include <string>
#include <vector>

#include "KORHandles.h"

namespace KORSystem {

// The outcome of a command: the raw wait status as system() and pclose()
// report it, or -1 when the command could not be started at all.
struct CommandStatus {
    int raw = -1;

    // Started, ran and exited with status 0.
    bool Succeeded() const;
    // Started and exited normally (with any code).
    bool Exited() const;
    // The exit code of a command that exited normally, else -1.
    int ExitCode() const;
};

// Runs the command line through /bin/sh, as system() does.
CommandStatus RunCommandLine(const std::string& commandLine);

// Runs the command line as RunCommandLine does, with the process's
// file-creation mask set to `mask` while it runs and restored right after
// (a mount of a volume without permission options takes its permissions
// from the mounting process's mask). The mask is the whole process's: a file
// another thread creates meanwhile only gets a stricter mode.
CommandStatus RunCommandLineWithUmask(const std::string& commandLine, unsigned int mask);

// Runs the command line through /bin/sh and collects its standard output, at
// most maxOutputBytes of it (the rest is read and dropped, so that the command
// never blocks on a full pipe).
struct CommandOutput {
    CommandStatus status;
    std::string output;
};
CommandOutput ReadCommandOutput(const std::string& commandLine,
                                std::size_t maxOutputBytes = std::size_t{64} * 1024);

// Where a started program's standard output goes.
enum class ProgramOutput { Inherited, Discarded };

// Starts argv[0] (looked up in PATH) with these arguments, no shell involved,
// and waits for it. An empty vector is a command that could not be started.
CommandStatus RunProgram(const std::vector<std::string>& argv,
                         ProgramOutput output = ProgramOutput::Inherited);

// What MakePrivateDirectory found and left.
struct PrivateDirectory {
    // The path is a directory of this process's user that nobody else may
    // write, not a link.
    bool ready = false;
    // What stood there first that was no such directory ("a symbolic link",
    // "a directory of user 1000", ...), removed when ready; empty when there
    // was nothing or such a directory.
    std::string replaced;
    // What stands there now when it is not ready.
    std::string remaining;
};

// Makes `path`, in a directory where anyone may create entries (like /tmp),
// a directory of this process's user that nobody else may write. Such a
// directory is kept as it is, a missing one made with mode 0700. Anything
// else is removed without following a link (a directory with everything in
// it, not descending into another file system or more than 16 levels) and
// the directory made afresh. In a sticky directory like /tmp nobody but its
// owner can then remove or replace it.
PrivateDirectory MakePrivateDirectory(const std::string& path);

// Whole-second and millisecond pauses; a signal does not cut them short.
void SleepSeconds(unsigned int seconds);
void SleepMilliseconds(unsigned long long milliseconds);

// The files and the mount of the library's own: its update lock and markers
// in the run-time directory, and what a killed update left mounted.

// An exclusive advisory lock (flock) on a file, tried once without waiting.
// The file is created with mode 0600 when missing, never reached through a
// symbolic link and must be a regular file. Its descriptor is closed across
// exec, so that no command started meanwhile keeps the lock alive. A second
// open of the same file conflicts with the first, also within one process.
enum class FileLockState { Taken, HeldElsewhere, Unusable };
struct FileLock {
    FileLockState state = FileLockState::Unusable;
    // Open unless Unusable: closing it gives a taken lock back; while
    // another holds the lock it reads what the holder wrote.
    KORHandles::Descriptor file;
    // Unusable: why, in words.
    std::string problem;
};
FileLock LockFile(const std::string& path);

// The first bytes of the open file (at most maxBytes), from its start.
std::string ReadFileStart(int fd, std::size_t maxBytes);
// Makes text the whole content of the open file; false when it could not.
bool ReplaceFileContent(int fd, const std::string& text);

// Unmounts what is mounted on directory, not following a symbolic link in its
// place: 0, or the errno of the failure (EINVAL or ENOENT: nothing mounted).
int Unmount(const std::string& directory);

// True when path names a directory (through links).
bool IsDirectory(const std::string& path);
// True when path is a regular file of this process's user, not a link.
bool IsOwnRegularFile(const std::string& path);
// Creates path as an empty file of mode 0600, never through a link; true when
// it is there now (an existing one is kept as it is).
bool PlaceMarkerFile(const std::string& path);
// Removes the file (a link itself, not what it names); true when it is gone.
bool RemoveFile(const std::string& path);

}  // namespace KORSystem
