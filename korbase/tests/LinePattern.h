#pragma once
// A POSIX extended regular expression that must match a whole text, compiled
// once. (POSIX regex rather than std::regex: the latter trips false
// uninitialised-use warnings of g++ 12 in sanitizer builds.)

#include <regex.h>

#include <string>
#include <vector>

class LinePattern {
public:
    explicit LinePattern(const std::string& pattern);
    ~LinePattern();
    LinePattern(const LinePattern&) = delete;
    LinePattern& operator=(const LinePattern&) = delete;

    // True when the pattern matches all of text; groups receives the whole
    // text first, then each parenthesised group.
    bool Matches(const std::string& text, std::vector<std::string>* groups = nullptr) const;

private:
    regex_t m_compiled;
};
