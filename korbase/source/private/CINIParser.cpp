#include "CINIParser.h"

#include <cstdio>

#include "KORInputFile.h"
#include "KORLogger.h"

namespace {

const char* const kBlanks = " \t";
const char* const kKeySeparator = "##";
const char* const kUnknownValue = "UNKNOWN";
// How much of an overlong line goes into the log line that rejects it.
const std::size_t kLoggedPrefixLength = 256;

// Only blanks and tabs: a carriage return of a CRLF file stays part of the line.
std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string ComposeKey(const std::string& section, const std::string& key) {
    return Trim(section) + kKeySeparator + Trim(key);
}

}  // namespace

CINIParser::CINIParser(const KORString& path) : m_strFilePath(path) {}

CINIParser::~CINIParser() = default;

bool CINIParser::Open() {
    const std::string path = m_strFilePath.GetUTF8String();
    if (!KORInputFileReadable(m_strFilePath)) {
        return false;
    }
    KORHandles::Descriptor file = KOROpenInputFile(path);
    if (file) {
        m_file.reset(fdopen(file.get(), "r"));
        if (m_file)
            file.release();
    }
    if (m_file)
        return true;
    KOR_LOG(KOR_LOG_ERROR, "Error occurred during opening file %s.", path.c_str());
    return false;
}

CINIParser::LineRead CINIParser::ReadLine(std::string& line) {
    line.clear();
    // A stream that never opened, or that fails to read, ends the file.
    if (!m_file)
        return LineRead::kEnd;
    bool readAnything = false;
    for (;;) {
        const int character = std::getc(m_file.get());
        if (character == EOF)
            return readAnything ? LineRead::kLine : LineRead::kEnd;
        readAnything = true;
        if (character == '\n')
            return LineRead::kLine;
        if (line.size() == kMaxLineLength)
            return LineRead::kTooLong;
        line.push_back(static_cast<char>(character));
    }
}

bool CINIParser::Parse() {
    std::string currentSection;
    bool newSection = false;
    std::string rawLine;
    for (;;) {
        const LineRead result = ReadLine(rawLine);
        if (result == LineRead::kEnd)
            return true;
        if (result == LineRead::kTooLong) {
            const std::string prefix = Trim(rawLine).substr(0, kLoggedPrefixLength);
            KOR_LOG(KOR_LOG_ERROR, "Error occurred parsing key for line %s.", prefix.c_str());
            return false;
        }
        const std::string line = Trim(rawLine);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string::npos) {
                KOR_LOG(KOR_LOG_ERROR, "Error occurred parsing key for line %s.", line.c_str());
                return false;
            }
            currentSection = line.substr(1, close - 1);
            newSection = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            KOR_LOG(KOR_LOG_ERROR, "Error occurred parsing key for line %s.", line.c_str());
            return false;
        }
        const std::string keyText = line.substr(0, equals);
        const std::string afterEquals = line.substr(equals + 1);
        const std::string value = Trim(afterEquals.substr(0, afterEquals.find('#')));
        if (value.empty()) {
            KOR_LOG(KOR_LOG_WARN, "Empty value found for key %s.", line.c_str());
            continue;
        }
        if (!m_mapValues.emplace(ComposeKey(currentSection, keyText), value).second) {
            KOR_LOG(KOR_LOG_WARN, "Duplicate Key found with section(%s) and node(%s)",
                    currentSection.c_str(), keyText.c_str());
            continue;
        }
        if (newSection)
            m_vecSectionNames.push_back(currentSection);
        newSection = false;
    }
}

bool CINIParser::OpenAndParse() {
    return Open() && Parse();
}

std::string CINIParser::GetValue(const KORString& section, const KORString& key) const {
    const auto found = m_mapValues.find(ComposeKey(section.GetUTF8String(), key.GetUTF8String()));
    return found == m_mapValues.end() ? std::string(kUnknownValue) : found->second;
}

KORString CINIParser::MakeKey(const KORString& section, const KORString& key) const {
    return KORString(ComposeKey(section.GetUTF8String(), key.GetUTF8String()));
}
