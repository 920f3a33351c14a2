#include "written_files.h"

#include <atomic>
#include <map>
#include <mutex>

#include "machine.h"
#include "sim_core.h"

namespace sim::core {
namespace {

struct WrittenFiles {
    std::mutex mutex;  // the maps only: a write elsewhere never waits for the machine
    std::map<int, std::string> descriptors;
    std::map<FILE*, std::string> streams;
    FileSystemHooks hooks;
};

// Outlives every static destructor: writes may come until the process ends.
WrittenFiles& Files() {
    static auto* files = new WrittenFiles;
    return *files;
}

std::atomic<size_t> g_count{0};

void Recount() {
    g_count = Files().descriptors.size() + Files().streams.size();
}

using Lock = std::lock_guard<std::recursive_mutex>;
using MapLock = std::lock_guard<std::mutex>;

}  // namespace

void TrackWrittenFile(int fd, const std::string& machinePath) {
    MapLock lock(Files().mutex);
    Files().descriptors[fd] = machinePath;
    Recount();
}

void TrackWrittenStream(FILE* stream, const std::string& machinePath) {
    MapLock lock(Files().mutex);
    Files().streams[stream] = machinePath;
    Recount();
}

void ForgetWrittenFile(int fd) {
    if (!AnyWrittenFiles())
        return;
    MapLock lock(Files().mutex);
    Files().descriptors.erase(fd);
    Recount();
}

void ForgetWrittenStream(FILE* stream) {
    if (!AnyWrittenFiles())
        return;
    MapLock lock(Files().mutex);
    Files().streams.erase(stream);
    Recount();
}

bool AnyWrittenFiles() {
    return g_count.load(std::memory_order_relaxed) != 0;
}

std::optional<std::string> WrittenPathOf(int fd) {
    if (!AnyWrittenFiles())
        return std::nullopt;
    MapLock lock(Files().mutex);
    const auto it = Files().descriptors.find(fd);
    return it == Files().descriptors.end() ? std::nullopt : std::optional(it->second);
}

std::optional<std::string> WrittenPathOf(FILE* stream) {
    if (!AnyWrittenFiles())
        return std::nullopt;
    MapLock lock(Files().mutex);
    const auto it = Files().streams.find(stream);
    return it == Files().streams.end() ? std::nullopt : std::optional(it->second);
}

void SetFileSystemHooks(FileSystemHooks hooks) {
    Lock lock(MachineMutex());
    Files().hooks = std::move(hooks);
}

size_t ReserveSpace(const std::string& machinePath, size_t bytes) {
    const MachineTransaction transaction;
    return Files().hooks.reserve ? Files().hooks.reserve(machinePath, bytes) : bytes;
}

void FlushFileSystems(const std::string& machinePath) {
    const MachineTransaction transaction;
    if (Files().hooks.flush)
        Files().hooks.flush(machinePath);
}

}  // namespace sim::core
