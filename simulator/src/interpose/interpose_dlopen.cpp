// Loading the maker's Norb library: by its installed paths it loads when the
// file is in the sandbox, by its bare name when the scenario says the system
// has it. Every other library loads for real.

#include <dlfcn.h>

#include <cstring>
#include <mutex>

#include "file_events.h"
#include "real_files.h"
#include "real_libc.h"

namespace sim::core {
namespace {

const char* const kNorbPaths[] = {"/opt/tessel/vek64/lib/libnrbipm.so",
                                  "/opt/tessel/vek64/lib/libnrbipm64.so",
                                  "/scratch/opt/tessel/vek/lib/libnrbipm.so",
                                  "/scratch/opt/tessel/vek/lib/libnrbipm64.so",
                                  "libnrbipm.so",
                                  "libnrbipm64.so"};
constexpr size_t kNorbCount = sizeof kNorbPaths / sizeof kNorbPaths[0];

// Handles nobody can mistake for a real library's: addresses inside this table.
char g_norbHandles[kNorbCount];

std::optional<size_t> NorbIndex(const char* name) {
    if (name == nullptr)
        return std::nullopt;
    for (size_t i = 0; i < kNorbCount; ++i) {
        if (std::strcmp(name, kNorbPaths[i]) == 0)
            return i;
    }
    return std::nullopt;
}

bool IsNorbHandle(const void* handle) {
    return handle >= static_cast<const void*>(g_norbHandles) &&
           handle < static_cast<const void*>(g_norbHandles + kNorbCount);
}

}  // namespace

void* LoadLibrary(const char* name, int flags) {
    const std::optional<size_t> index = NorbIndex(name);
    if (!index)
        return Real().dlopen(name, flags);
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const bool bare = std::strchr(name, '/') == nullptr;
    const bool present =
        bare ? RunningMachine().settings.norb == "system" : files::Exists(SandboxPathOf(name));
    // Recorded whether it loads or not: the library decides on Norb by these loads.
    RecordFileEvent("dlopen", name, present, kWrites, ENOENT);
    return present ? &g_norbHandles[*index] : nullptr;
}

int UnloadLibrary(void* handle) {
    return IsNorbHandle(handle) ? 0 : Real().dlclose(handle);
}

}  // namespace sim::core

extern "C" {

void* dlopen(const char* name, int flags) noexcept {
    return sim::core::LoadLibrary(name, flags);
}

int dlclose(void* handle) noexcept {
    return sim::core::UnloadLibrary(handle);
}

}  // extern "C"
