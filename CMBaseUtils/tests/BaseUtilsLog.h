#pragma once
// Test helper: CLogger opens its file once per process, so every test of an
// executable shares one log in a temporary directory; a test marks where its
// own lines begin and reads back the messages written since.

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "CLogger.h"
#include "TemporaryDirectory.h"

class BaseUtilsLog {
public:
    static BaseUtilsLog& Instance() {
        static BaseUtilsLog log;
        return log;
    }

    void Mark() {
        std::ifstream file(m_path, std::ios::binary | std::ios::ate);
        m_mark = file ? static_cast<std::streamoff>(file.tellg()) : 0;
    }

    // The message part of every line since the mark, in order.
    std::vector<std::string> MessagesSinceMark() const {
        static const std::regex kLine(R"(^\[[^\]]*\] : *[^:]*: *[0-9]+: (.*)$)");
        std::ifstream file(m_path, std::ios::binary);
        file.seekg(m_mark);
        std::vector<std::string> messages;
        std::smatch match;
        for (std::string line; std::getline(file, line);) {
            messages.push_back(std::regex_match(line, match, kLine) ? match[1].str()
                                                                    : "unparsed: " + line);
        }
        return messages;
    }

private:
    BaseUtilsLog() : m_path(m_directory.Path() + "/baseutils.log") {
        CLogger::GetInstance()->Initialize(m_path);
    }

    TemporaryDirectory m_directory;
    std::string m_path;
    std::streamoff m_mark = 0;
};
