#include "HostProcess.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace hosttest {

namespace fs = std::filesystem;

namespace {

// Real seconds a program may run, far beyond any update in the simulated
// machine (virtual time), even under memcheck.
constexpr unsigned int kProgramTimeLimitSeconds = 600;

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<char*> NullTerminated(const std::vector<std::string>& words) {
    std::vector<char*> pointers;
    pointers.reserve(words.size() + 1);
    for (const std::string& word : words)
        pointers.push_back(const_cast<char*>(word.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the program in the directory with exactly this environment, its
// output to files beside the directory. Started with fork and exec rather
// than popen: the test process links the simulator, which would emulate a
// command line.
StartedHost StartProgram(const std::vector<std::string>& command,
                         const std::vector<std::string>& environment,
                         const std::string& directory) {
    StartedHost started;
    started.outputPath = directory + ".stdout";
    started.errorsPath = directory + ".stderr";
    started.pid = fork();
    if (started.pid < 0)
        throw std::runtime_error("fork failed");
    if (started.pid == 0) {
        const int output = open(started.outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errors = open(started.errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (output < 0 || errors < 0 || dup2(output, 1) < 0 || dup2(errors, 2) < 0 ||
            chdir(directory.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv = NullTerminated(command);
        std::vector<char*> envp = NullTerminated(environment);
        // A program that hangs (on a planted FIFO, say) ends by SIGALRM
        // rather than holding the whole suite; the alarm survives exec.
        alarm(kProgramTimeLimitSeconds);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return started;
}

// The simulator makes the staging disk's volume with the real mkfs.vfat.
std::string PathSetting() {
    const char* path = getenv("PATH");
    return std::string("PATH=") + (path != nullptr ? path : "/usr/sbin:/usr/bin:/sbin:/bin");
}

std::vector<std::string> HostCommand(const HostProcess& process) {
    std::vector<std::string> command = process.wrapper;
    command.emplace_back("./updatehost");
    command.insert(command.end(), process.arguments.begin(), process.arguments.end());
    return command;
}

}  // namespace

std::vector<std::string> LayOutPackage(const std::string& directory,
                                       const std::string& scenarioPath) {
    fs::create_directories(directory);
    const HostOutcome script =
        RunProgram({"bash", std::string(KOR_SOURCE_DIR) + "/scripts/lay-out-package.sh", directory,
                    KOR_UPDATEHOST, KOR_UPDATE_LIBRARY, scenarioPath},
                   {PathSetting()}, directory);
    if (script.exitStatus != 0)
        throw std::runtime_error("laying out the package failed: " + script.errors);
    std::vector<std::string> arguments;
    std::istringstream words(script.output);
    for (std::string word; words >> word;)
        arguments.push_back(word);
    return arguments;
}

HostOutcome RunProgram(const std::vector<std::string>& command,
                       const std::vector<std::string>& environment, const std::string& directory) {
    return Finish(StartProgram(command, environment, directory));
}

std::vector<std::string> HostEnvironment(const HostProcess& process) {
    fs::create_directories(process.sandboxPath);
    return {
        std::string("LD_PRELOAD=") + KOR_SIM_LIBRARY,
        "SIMMACHINE_SCENARIO=" + process.scenarioPath,
        "SIMMACHINE_TRACE=" + process.tracePath,
        "SIMMACHINE_SANDBOX=" + process.sandboxPath,
        // The sanitizer build preloads the simulator ahead of its runtime; the
        // library's singletons look leaked once the host unloads it.
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0",
        PathSetting(),
    };
}

HostOutcome RunHost(const HostProcess& process) {
    return Finish(StartHost(process));
}

StartedHost StartHost(const HostProcess& process) {
    return StartProgram(HostCommand(process), HostEnvironment(process), process.packageDirectory);
}

HostOutcome Finish(const StartedHost& started) {
    int status = 0;
    struct rusage usage = {};
    wait4(started.pid, &status, 0, &usage);
    HostOutcome outcome;
    outcome.peakResidentKiB = usage.ru_maxrss;
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.output = ReadWhole(started.outputPath);
    outcome.errors = ReadWhole(started.errorsPath);
    return outcome;
}

HostOutcome RunInMachine(const HostProcess& process, const std::vector<std::string>& command) {
    return RunProgram(command, HostEnvironment(process), process.packageDirectory);
}

}  // namespace hosttest
