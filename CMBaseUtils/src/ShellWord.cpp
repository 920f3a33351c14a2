#include "ShellWord.h"

#include <cctype>

namespace {

bool IsLiteralForShell(unsigned char character) {
    static const std::string kLiteralPunctuation = "_-./+,:=@%";
    return std::isalnum(character) != 0 ||
           kLiteralPunctuation.find(static_cast<char>(character)) != std::string::npos;
}

}  // namespace

std::string ShellWord(const std::string& text) {
    bool literal = !text.empty();
    for (const char character : text) {
        literal = literal && IsLiteralForShell(static_cast<unsigned char>(character));
    }
    if (literal) {
        return text;
    }
    std::string quoted = "'";
    for (const char character : text) {
        // A single quote cannot appear inside single quotes: close, escape, reopen.
        quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
    }
    return quoted + "'";
}
