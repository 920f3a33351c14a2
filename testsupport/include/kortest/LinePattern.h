#pragma once
// A POSIX extended regular expression that must match a whole text, compiled
// once: the one matcher of log lines and names in the tests. (POSIX regex
// rather than std::regex: the latter recurses once per character, which a
// long log line turns into a stack overflow, and trips false
// uninitialised-use warnings of g++ 12 in sanitizer builds.)

#include <regex.h>

#include <string>
#include <vector>

namespace kortest {

class LinePattern {
public:
    explicit LinePattern(const std::string& pattern);
    ~LinePattern();
    LinePattern(const LinePattern&) = delete;
    LinePattern& operator=(const LinePattern&) = delete;

    // True when the pattern matches all of text; groups receives the whole
    // text first, then each parenthesised group ("" for one that took no part).
    bool Matches(const std::string& text, std::vector<std::string>* groups = nullptr) const;

private:
    regex_t m_compiled;
};

}  // namespace kortest
