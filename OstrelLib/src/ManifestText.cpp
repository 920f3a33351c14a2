#include "ManifestText.h"

namespace FirmwareFramework {

ManifestText::ManifestText()
    : m_strText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OSTREL_Update>\n"), m_iCount(0) {}

void ManifestText::AddFile(const std::string& source, const std::string& digest) {
    // The layout is fixed: no line feed after "</File>", the next entry's
    // TAB follows it directly.
    m_strText +=
        "\t<File order=\"" + std::to_string(++m_iCount) + "\">\n\t\t<Hash>" + digest +
        "</Hash>\n\t\t<Source>" + EscapedXmlText(source) +
        "</Source>\n\t\t<Mode>filecopy</Mode>\n\t\t<Algorithm>SHA256</Algorithm>\n\t</File>";
}

std::string ManifestText::Finished() const {
    return m_strText + "</OSTREL_Update>";
}

std::string EscapedXmlText(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace FirmwareFramework
