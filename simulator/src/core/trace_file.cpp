#include <fstream>
#include <sstream>

#include "simmachine/TraceFile.h"
#include "text_split.h"

namespace sim {
namespace {

class FlatObjectParser {
public:
    explicit FlatObjectParser(const std::string& text) : text_(text) {}

    std::optional<std::map<std::string, std::string>> Parse() {
        std::map<std::string, std::string> members;
        if (!Take('{'))
            return std::nullopt;
        if (Take('}'))
            return members;
        do {
            std::string name;
            std::string value;
            if (!String(&name) || !Take(':') || !Value(&value))
                return std::nullopt;
            members[name] = value;
        } while (Take(','));
        if (!Take('}'))
            return std::nullopt;
        SkipBlanks();
        return position_ == text_.size() ? std::optional(members) : std::nullopt;
    }

    // [ "a", "b" ]; the elements go to *out when given.
    bool StringArray(std::vector<std::string>* out) {
        if (!Take('['))
            return false;
        if (Take(']'))
            return true;
        do {
            std::string element;
            if (!String(&element))
                return false;
            if (out != nullptr)
                out->push_back(element);
        } while (Take(','));
        return Take(']');
    }

private:
    void SkipBlanks() {
        while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t')) {
            ++position_;
        }
    }

    bool Take(char c) {
        SkipBlanks();
        if (position_ >= text_.size() || text_[position_] != c)
            return false;
        ++position_;
        return true;
    }

    static void AppendUtf8(std::string* out, unsigned code) {
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xc0 | (code >> 6));
            *out += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            *out += static_cast<char>(0xe0 | (code >> 12));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            *out += static_cast<char>(0x80 | (code & 0x3f));
        }
    }

    bool String(std::string* out) {
        if (!Take('"'))
            return false;
        while (position_ < text_.size()) {
            const char c = text_[position_++];
            if (c == '"')
                return true;
            if (c != '\\') {
                *out += c;
            } else if (!Escape(out)) {
                return false;
            }
        }
        return false;
    }

    // The character after a backslash, and the digits of a \uXXXX.
    bool Escape(std::string* out) {
        if (position_ >= text_.size())
            return false;
        const char escaped = text_[position_++];
        static const std::string kNamed = "nrtbf";
        static const std::string kMeant = "\n\r\t\b\f";
        if (const size_t named = kNamed.find(escaped); named != std::string::npos) {
            *out += kMeant[named];
        } else if (escaped == 'u') {
            unsigned code = 0;
            if (!HexDigits(&code))
                return false;
            AppendUtf8(out, code);
        } else {
            *out += escaped;
        }
        return true;
    }

    bool HexDigits(unsigned* code) {
        if (position_ + 4 > text_.size())
            return false;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[position_++];
            *code <<= 4;
            if (h >= '0' && h <= '9') {
                *code |= static_cast<unsigned>(h - '0');
            } else if (h >= 'a' && h <= 'f') {
                *code |= static_cast<unsigned>(h - 'a' + 10);
            } else if (h >= 'A' && h <= 'F') {
                *code |= static_cast<unsigned>(h - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    // Numbers, true, false and null as their text; an array of strings as
    // its JSON text.
    bool Value(std::string* out) {
        SkipBlanks();
        if (position_ < text_.size() && text_[position_] == '"')
            return String(out);
        if (position_ < text_.size() && text_[position_] == '[') {
            const size_t start = position_;
            if (!StringArray(nullptr))
                return false;
            *out = text_.substr(start, position_ - start);
            return true;
        }
        const size_t start = position_;
        while (position_ < text_.size() && text_[position_] != ',' && text_[position_] != '}' &&
               text_[position_] != ' ') {
            ++position_;
        }
        *out = text_.substr(start, position_ - start);
        return !out->empty();
    }

    const std::string& text_;
    size_t position_ = 0;
};

}  // namespace

std::string Event::Field(const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

std::optional<std::vector<std::string>> ParseStringArray(const std::string& json) {
    std::vector<std::string> elements;
    if (!FlatObjectParser(json).StringArray(&elements))
        return std::nullopt;
    return elements;
}

std::vector<Event> ParseTrace(const std::string& text) {
    std::vector<Event> events;
    for (std::string& line : SplitOn(text, '\n')) {
        std::optional<std::map<std::string, std::string>> members = FlatObjectParser(line).Parse();
        if (!members)
            continue;
        Event event;
        event.kind = (*members)["kind"];
        event.fields = std::move(*members);
        event.json = std::move(line);
        events.push_back(std::move(event));
    }
    return events;
}

std::vector<Event> ReadTraceFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return ParseTrace(text.str());
}

}  // namespace sim
