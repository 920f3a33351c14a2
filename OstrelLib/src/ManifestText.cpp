#include "ManifestText.h"

namespace FirmwareFramework {

namespace {

// The code point of the UTF-8 sequence at text[at], and the index after it;
// nothing for a malformed, overlong or surrogate sequence.
std::optional<char32_t> NextCodePoint(const std::string& text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    // The sequence's length, the lead byte's bits and the smallest code point
    // that needs that many bytes.
    std::size_t length = 0;
    char32_t point = 0;
    char32_t smallest = 0;
    if (lead >= 0xC0 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
        smallest = 0x10000;
    }
    if (length == 0 || text.size() - at < length)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        point = point << 6 | (next & 0x3F);
    }
    if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return std::nullopt;
    at += length;
    return point;
}

// The characters an XML 1.0 document may contain.
bool IsXmlCharacter(char32_t point) {
    return point == 0x9 || point == 0xA || point == 0xD || (point >= 0x20 && point <= 0xD7FF) ||
           (point >= 0xE000 && point <= 0xFFFD) || point >= 0x10000;
}

}  // namespace

ManifestText::ManifestText()
    : m_strText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OSTREL_Update>\n"), m_iCount(0) {}

bool ManifestText::AddFile(const std::string& source, const std::string& digest) {
    const std::optional<std::string> escaped = EscapedXmlText(source);
    if (!escaped)
        return false;
    // The layout is fixed: no line feed after "</File>", the next entry's
    // TAB follows it directly.
    m_strText +=
        "\t<File order=\"" + std::to_string(++m_iCount) + "\">\n\t\t<Hash>" + digest +
        "</Hash>\n\t\t<Source>" + *escaped +
        "</Source>\n\t\t<Mode>filecopy</Mode>\n\t\t<Algorithm>SHA256</Algorithm>\n\t</File>";
    return true;
}

std::string ManifestText::Finished() const {
    return m_strText + "</OSTREL_Update>";
}

std::optional<std::string> EscapedXmlText(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const std::optional<char32_t> point = NextCodePoint(text, at);
        if (!point || !IsXmlCharacter(*point))
            return std::nullopt;
        switch (*point) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '\r':
                escaped += "&#13;";
                break;
            default:
                escaped.append(text, start, at - start);
        }
    }
    return escaped;
}

}  // namespace FirmwareFramework
