#include "Json.h"

#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at text[at], 0 when it is not one.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else if (c < 0x80) {
            quoted += static_cast<char>(c);
        } else if (size_t length = Utf8SequenceLength(text, i)) {
            quoted.append(text, i, length);
            i += length - 1;
        } else {
            // Bytes that are not UTF-8 would make the whole report unreadable.
            quoted += "\\ufffd";
        }
    }
    return quoted + "\"";
}

std::string JsonArray(const std::vector<std::string>& values) {
    std::string text = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        text += (i == 0 ? "" : ",") + values[i];
    }
    return text + "]";
}

JsonObject& JsonObject::Raw(const std::string& key, const std::string& json) {
    m_fields += (m_fields.empty() ? "" : ",") + JsonString(key) + ":" + json;
    return *this;
}

JsonObject& JsonObject::String(const std::string& key, const std::string& text) {
    return Raw(key, JsonString(text));
}

JsonObject& JsonObject::Number(const std::string& key, long long value) {
    return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Bool(const std::string& key, bool value) {
    return Raw(key, value ? "true" : "false");
}

std::string JsonObject::Text() const {
    return "{" + m_fields + "}";
}
