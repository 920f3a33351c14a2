// A stand-in for the library in the check's own test: it exports one function
// per shared type, so that the types' full layouts are described in its debug
// information exactly as the public headers declare them.
#include <cstddef>

#include "IDeviceExecution.h"

extern "C" __attribute__((visibility("default"))) std::size_t ProbeDeviceRecord(
    const CDeviceInfo* record) {
    return record == nullptr ? 0 : sizeof *record;
}

extern "C" __attribute__((visibility("default"))) void ProbeDeviceExecution(
    IDeviceExecution* update) {
    delete update;
}
