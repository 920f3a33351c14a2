#include "RunTimeFiles.h"

#include "KORSystem.h"
#include "UpdateLock.h"

namespace RunTimeFiles {

namespace {

bool HasRunDirectory() {
    return KORSystem::IsDirectory(UpdateLock::kRunDirectory);
}

}  // namespace

std::string UpdateLockPath() {
    return HasRunDirectory() ? UpdateLock::kPath : UpdateLock::kPathWithoutRun;
}

std::string HalStoppedMarkerPath() {
    return HasRunDirectory() ? kHalStoppedMarker : kHalStoppedMarkerWithoutRun;
}

}  // namespace RunTimeFiles
