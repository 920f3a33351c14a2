#pragma once
// Test helper: points KORLogger at a fresh directory while it lives and reads
// back the messages as "LEVEL message", without the header's time and place.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../korbase/tests/LogFileCapture.h"
#include "KORLogger.h"

class KorLogLines {
public:
    KorLogLines() {
        char pattern[] = "/tmp/kor-lines-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_directory = pattern;
        Open();
    }
    ~KorLogLines() {
        KORLogger::Terminate();
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }
    KorLogLines(const KorLogLines&) = delete;
    KorLogLines& operator=(const KorLogLines&) = delete;

    // The messages written since the last call (the logger flushes only when
    // it closes, so it is closed and opened again).
    std::vector<std::string> Take() {
        KORLogger::Terminate();
        static const std::regex kLine(R"(^\S+ (\S+) +: \S+ \S+ .*?\(\) .*?: *[0-9]+ (.*)$)");
        std::ifstream file(m_directory + "/internal.log");
        if (!file.is_open()) {
            Open();
            return {};
        }
        file.seekg(m_taken);
        std::vector<std::string> messages;
        std::smatch match;
        for (std::string line; std::getline(file, line);) {
            messages.push_back(std::regex_match(line, match, kLine)
                                   ? match[1].str() + " " + match[2].str()
                                   : "unparsed: " + line);
        }
        file.clear();
        file.seekg(0, std::ios::end);
        m_taken = file.tellg();
        Open();
        return messages;
    }

private:
    void Open() { StartLoggingInto(m_directory, "KorLogLines"); }

    std::string m_directory;
    std::streamoff m_taken = 0;
};
