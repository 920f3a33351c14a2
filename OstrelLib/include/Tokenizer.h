#pragma once
// Turns a catalogue value such as "30 A1 0x10 3C" into numbers.

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace IPMIFramework {

// Splits text at white space and appends every token to out, read with strtol
// in base (the digits up to the first character that is not one; a token
// without any reads 0) and cut to T, so "1FF" gives 0xFF for a byte.
template <typename T>
void Tokenizer(const std::string& text, std::vector<T>& out, unsigned base) {
    std::istringstream tokens(text);
    for (std::string token; tokens >> token;)
        out.push_back(static_cast<T>(std::strtol(token.c_str(), nullptr, static_cast<int>(base))));
}

}  // namespace IPMIFramework
