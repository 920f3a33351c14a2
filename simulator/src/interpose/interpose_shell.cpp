// system, popen and pclose run nothing: the emulated shell answers them.

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "machine.h"
#include "shell_emulation.h"

namespace sim::core {
namespace {

// A status as wait(2) reports a normal exit, which is what system and pclose return.
int WaitStatus(int exitStatus) {
    return (exitStatus & 0xff) << 8;
}

struct OpenStream {
    int status;
    char* buffer;  // what the stream reads from; freed by pclose
};

// Streams outlive a reset of the machine: the caller still closes them.
std::map<FILE*, OpenStream>& OpenStreams() {
    static auto* streams = new std::map<FILE*, OpenStream>;
    return *streams;
}

}  // namespace

FILE* OpenCommandStream(const char* command, const char* mode) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    if (mode == nullptr || mode[0] != 'r') {
        // Feeding a command is nothing the machine knows how to answer.
        RecordUnknownCommand(command, "popen");
        errno = EINVAL;
        return nullptr;
    }
    const CommandResult result = RunCommandLine(command, "popen");
    // One byte more than the output, so that even an empty output has a buffer.
    char* buffer = static_cast<char*>(std::malloc(result.output.size() + 1));
    if (buffer == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(buffer, result.output.data(), result.output.size());
    buffer[result.output.size()] = '\0';
    FILE* stream = fmemopen(buffer, result.output.size(), "r");
    if (stream == nullptr) {
        std::free(buffer);
        return nullptr;
    }
    OpenStreams()[stream] = OpenStream{WaitStatus(result.exitStatus), buffer};
    return stream;
}

int CloseCommandStream(FILE* stream) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const auto it = OpenStreams().find(stream);
    if (it == OpenStreams().end()) {
        errno = ECHILD;
        return -1;
    }
    const OpenStream open = it->second;
    OpenStreams().erase(it);
    std::fclose(stream);
    std::free(open.buffer);
    return open.status;
}

}  // namespace sim::core

extern "C" {

int system(const char* command) {
    // The question "is there a shell": there is one.
    if (command == nullptr)
        return 1;
    return sim::core::WaitStatus(sim::core::RunCommandLine(command, "system").exitStatus);
}

FILE* popen(const char* command, const char* mode) {
    if (command == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    return sim::core::OpenCommandStream(command, mode);
}

int pclose(FILE* stream) {
    return sim::core::CloseCommandStream(stream);
}

}  // extern "C"
