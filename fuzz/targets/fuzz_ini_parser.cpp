// The INI reader on arbitrary file contents: it parses or refuses without
// reading out of bounds, and every section it lists answers every key.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CINIParser.h"
#include "InputFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzio::InputFile input("ipmi_cmd.ini");
    input.Write(data, size);
    CINIParser parser{KORString(input.Path())};
    if (!parser.OpenAndParse())
        return 0;
    for (const std::string& section : parser.GetSectionNames()) {
        for (const char* key : {"Command", "RequestLength", "ResponseLength", "IsSessionRequired",
                                "IsStaticExecution", ""})
            parser.GetValue(KORString(section), KORString(key));
    }
    return 0;
}
