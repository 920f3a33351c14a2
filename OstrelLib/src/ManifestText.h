#pragma once
// The text of the manifest "input_secupd.xml": every copied file with its
// SHA-256 digest, in the layout the controller parses.

#include <string>

namespace FirmwareFramework {

class ManifestText {
public:
    ManifestText();
    // The next file, numbered from 1; `source` is its path on the partition
    // relative to the root ("payload/fw.bin"), `digest` its 64 hex digits.
    void AddFile(const std::string& source, const std::string& digest);
    // The whole document, closed.
    std::string Finished() const;

private:
    std::string m_strText;
    int m_iCount;
};

// The text as XML character data: "&", "<" and ">" as entities, so that any
// file name gives a well-formed document that reads back as the name.
std::string EscapedXmlText(const std::string& text);

}  // namespace FirmwareFramework
