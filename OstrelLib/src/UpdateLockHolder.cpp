#include "UpdateLockHolder.h"

#include <unistd.h>

#include <cstdlib>

#include "KORSystem.h"
#include "RunTimeFiles.h"

namespace {

// Room for any process id and its line feed.
constexpr std::size_t kProcessIdBytes = 32;

// The decimal process id and line feed the holder wrote, or "unknown" while
// the file holds none (the holder writes it right after taking the lock).
std::string WrittenProcessId(int fd) {
    const std::string text = KORSystem::ReadFileStart(fd, kProcessIdBytes);
    char* end = nullptr;
    const long long id = std::strtoll(text.c_str(), &end, 10);
    if (id <= 0 || end == text.c_str() || *end != '\n')
        return "unknown";
    return std::to_string(id);
}

}  // namespace

UpdateLockHolder::Attempt UpdateLockHolder::TryTake() {
    m_path = RunTimeFiles::UpdateLockPath();
    KORSystem::FileLock lock = KORSystem::LockFile(m_path);
    switch (lock.state) {
        case KORSystem::FileLockState::Taken:
            m_file = std::move(lock.file);
            // What an earlier holder wrote goes, even when this fails: the
            // process id only informs.
            KORSystem::ReplaceFileContent(m_file.get(), std::to_string(getpid()) + "\n");
            return Attempt::Taken;
        case KORSystem::FileLockState::HeldElsewhere:
            m_refusalDetail = WrittenProcessId(lock.file.get());
            return Attempt::HeldByAnother;
        case KORSystem::FileLockState::Unusable:
            break;
    }
    m_refusalDetail = lock.problem;
    return Attempt::Unusable;
}

bool UpdateLockHolder::IsHeld() const {
    return static_cast<bool>(m_file);
}

const std::string& UpdateLockHolder::RefusalDetail() const {
    return m_refusalDetail;
}

const std::string& UpdateLockHolder::Path() const {
    return m_path;
}

void UpdateLockHolder::Release() {
    // Closing the only descriptor gives the lock back; the file stays, with
    // the process id of its last holder.
    m_file.reset();
}
