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
    std::vector<std::string> groups;
    for (std::string line; std::getline(file, line);) {
        if (!m_line.Matches(line, &groups)) {
            messages.push_back("unparsed: " + line);
            continue;
        }
        std::string message;
        for (std::size_t group = 1; group < groups.size(); ++group) {
            message += (group > 1 ? " " : "") + groups[group];
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

std::size_t CountLinesWith(const std::vector<std::string>& lines, const std::string& text) {
    std::size_t count = 0;
    for (const std::string& line : lines)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

}  // namespace kortest
