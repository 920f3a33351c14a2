// The FAT label reader on an arbitrary volume head (boot sector, FATs and the
// first directory clusters); whatever the boot sector claims, the reader
// stays inside the bytes the file holds.
#include <kortest/TemporaryDirectory.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FatLabelReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kortest::TemporaryDirectory directory;
    const std::string path =
        directory.Write("volume.img", std::string(reinterpret_cast<const char*>(data), size));
    const std::string label = getLabel(path);
    if (!label.empty() && label.size() != 11)
        __builtin_trap();
    return 0;
}
