#include "kortest/LogFile.h"

#include <fstream>

namespace kortest {

LogFile::LogFile(std::string path, const std::string& linePattern)
    : m_path(std::move(path)), m_line(linePattern) {}

void LogFile::Skip() {
    std::ifstream file(m_path, std::ios::binary | std::ios::ate);
    m_taken = file ? static_cast<std::streamoff>(file.tellg()) : 0;
}

std::vector<std::string> LogFile::Take() {
    std::ifstream file(m_path, std::ios::binary);
    std::vector<std::string> messages;
    if (!file) {
        return messages;
    }
    file.seekg(m_taken);
    std::smatch match;
    for (std::string line; std::getline(file, line);) {
        if (!std::regex_match(line, match, m_line)) {
            messages.push_back("unparsed: " + line);
            continue;
        }
        std::string message;
        for (std::size_t group = 1; group < match.size(); ++group) {
            message += (group > 1 ? " " : "") + match[group].str();
        }
        messages.push_back(message);
    }
    Skip();
    return messages;
}

std::size_t CountOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); !needle.empty() && at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

}  // namespace kortest
