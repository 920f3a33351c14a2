#pragma once
// The text of the manifest "input_secupd.xml": every copied file with its
// SHA-256 digest, in the layout the controller parses.

#include <optional>
#include <string>

namespace FirmwareFramework {

class ManifestText {
public:
    ManifestText();
    // The next file, numbered from 1; `source` is its path on the partition
    // relative to the root ("payload/fw.bin"), `digest` its 64 hex digits.
    // False, and nothing added, when the manifest cannot hold the source
    // (see EscapedXmlText).
    bool AddFile(const std::string& source, const std::string& digest);
    // The whole document, closed.
    std::string Finished() const;

private:
    std::string m_strText;
    int m_iCount;
};

// The text as XML character data that reads back as the text: "&", "<" and
// ">" as entities, CR as a character reference (a parser reads a bare one as
// a line feed). Nothing when XML cannot hold the text at all: bytes that are
// not UTF-8, control characters other than TAB, LF and CR, U+FFFE and U+FFFF.
std::optional<std::string> EscapedXmlText(const std::string& text);

}  // namespace FirmwareFramework
