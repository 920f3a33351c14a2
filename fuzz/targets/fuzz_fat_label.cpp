// The FAT label reader on an arbitrary volume head (boot sector, FATs and the
// first directory clusters); whatever the boot sector claims, the reader
// stays inside the bytes the file holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FatLabelReader.h"
#include "InputFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzio::InputFile input("volume.img");
    input.Write(data, size);
    const std::string label = getLabel(input.Path());
    if (!label.empty() && label.size() != 11)
        __builtin_trap();
    return 0;
}
