#pragma once
// The one place where the libraries reach the operating system to pause, to
// run something (a shell command line, with its exit status or its output,
// or a program started from an argument vector, which no shell ever
// interprets) or to prepare the directory they mount on. Keeping every such
// contact here gives a reviewer (and the simulated machine) one short list of
// what the library does to the machine.

#include <string>
#include <vector>

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

}  // namespace KORSystem
