#pragma once
// Reads back what a logger wrote into one file: the message part of each line
// written since the last look, so that a test sees only the lines it caused.

#include <string>
#include <vector>

#include "kortest/LinePattern.h"

namespace kortest {

class LogFile {
public:
    // linePattern (a LinePattern) matches one whole line; its capture
    // groups, joined by a blank, are the message. A line it does not match comes back as
    // "unparsed: " and the line.
    LogFile(std::string path, const std::string& linePattern);

    // Forgets everything the file holds so far.
    void Skip();
    // The messages written since the last Skip or Take, in order.
    std::vector<std::string> Take();

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    LinePattern m_line;
    std::streamoff m_taken = 0;
};

// How often needle occurs in text, counting occurrences that do not overlap.
std::size_t CountOf(const std::string& text, const std::string& needle);
// How many of the lines hold text.
std::size_t CountLinesWith(const std::vector<std::string>& lines, const std::string& text);

}  // namespace kortest
