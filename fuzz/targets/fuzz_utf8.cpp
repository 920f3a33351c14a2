// The UTF-8 decoder and encoder of the base library's text: any bytes
// decode, and any text survives encoding and decoding again unchanged, lone
// surrogates included.
#include <cstddef>
#include <cstdint>
#include <string>

#include "KORString.h"

namespace {

void RequireRoundTrip(const KORString& text) {
    if (KORString(text.GetUTF8String()).Units() != text.Units())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    RequireRoundTrip(KORString(bytes));
    // The same bytes read as UTF-16 code units.
    KORUnitString units;
    for (size_t i = 0; i + 1 < size; i += 2)
        units.push_back(static_cast<KORChar>(data[i] | data[i + 1] << 8));
    RequireRoundTrip(KORString(units));
    return 0;
}
