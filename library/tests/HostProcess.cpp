#include "HostProcess.h"

#include <fcntl.h>
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

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

void LayOutPackage(const std::string& directory) {
    fs::copy(KOR_PACKAGE_DIR, directory, fs::copy_options::recursive);
    fs::copy_file(KOR_UPDATEHOST, directory + "/updatehost");
    fs::copy_file(KOR_UPDATE_LIBRARY, directory + "/vaduzivorirezoz.so.20.06.00");
}

HostOutcome RunHost(const HostProcess& process) {
    const std::string outputPath = process.packageDirectory + "/../host-stdout";
    const std::string errorsPath = process.packageDirectory + "/../host-stderr";
    std::vector<std::string> environment = {
        std::string("LD_PRELOAD=") + KOR_SIM_LIBRARY,
        "SIMMACHINE_SCENARIO=" + process.scenarioPath,
        "SIMMACHINE_TRACE=" + process.tracePath,
        "SIMMACHINE_SANDBOX=" + process.sandboxPath,
        // The sanitizer build preloads the simulator ahead of its runtime; the
        // library's singletons look leaked once the host unloads it.
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0",
    };
    // The simulator makes the staging disk's volume with the real mkfs.vfat.
    if (const char* path = getenv("PATH"))
        environment.push_back(std::string("PATH=") + path);
    fs::create_directories(process.sandboxPath);
    std::vector<std::string> command = process.wrapper;
    command.push_back("./updatehost");
    command.insert(command.end(), process.arguments.begin(), process.arguments.end());

    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errors = open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (output < 0 || errors < 0 || dup2(output, 1) < 0 || dup2(errors, 2) < 0 ||
            chdir(process.packageDirectory.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        for (const std::string& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& setting : environment)
            envp.push_back(const_cast<char*>(setting.c_str()));
        envp.push_back(nullptr);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    HostOutcome outcome;
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.output = ReadWhole(outputPath);
    outcome.errors = ReadWhole(errorsPath);
    return outcome;
}

}  // namespace hosttest
