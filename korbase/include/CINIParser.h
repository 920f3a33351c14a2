#pragma once
// Reads an INI-style text file into memory: "[SECTION]" headers and
// "KEY = VALUE" lines, "#" comment lines and inline "#" comments after the
// value. Values stay narrow (UTF-8) text; converting them is the caller's job.
//
//     CINIParser parser(KORString("ipmi_cmd.ini"));
//     if (parser.OpenAndParse())
//         for (const std::string& section : parser.GetSectionNames())
//             std::string command = parser.GetValue(section, "Command");

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "KORHandles.h"
#include "KORString.h"

class CINIParser {
public:
    // Lines longer than this fail Parse: no catalogue line is anywhere near it,
    // and it keeps a corrupt or hostile file from filling memory.
    static constexpr std::size_t kMaxLineLength = std::size_t{64} * 1024;

    explicit CINIParser(const KORString& path);
    ~CINIParser();
    CINIParser(const CINIParser&) = delete;
    CINIParser& operator=(const CINIParser&) = delete;

    bool Open();
    bool Parse();
    bool OpenAndParse();

    // The stored value, or "UNKNOWN" when the file did not define it.
    std::string GetValue(const KORString& section, const KORString& key) const;
    KORString MakeKey(const KORString& section, const KORString& key) const;

    // Sections that received at least one value, in file order, each name as
    // written between the brackets; a name repeated in the file is listed again.
    const std::vector<std::string>& GetSectionNames() const { return m_vecSectionNames; }

private:
    enum class LineRead { kLine, kEnd, kTooLong };
    LineRead ReadLine(std::string& line);

    std::map<std::string, std::string> m_mapValues;
    std::vector<std::string> m_vecSectionNames;
    KORString m_strFilePath;
    KORHandles::File m_file;
};
