#pragma once
// Whole-line patterns for the emulated command lines: literal text with
// placeholders, never a shell and never a regular expression.
//   {word}  one or more non-blank characters
//   {text}  one or more characters other than a double quote
//   {any}   any characters, possibly none
//   {path}  one shell word: bare and \-escaped characters, '...' and "..."
//           pieces; it captures the word as the shell hands it on, quotes
//           removed. A word whose meaning depends on the shell (an unquoted
//           pattern, variable, command substitution, redirection or
//           operator, or $, ` or \ inside double quotes) never matches: that
//           line is unknown.

#include <optional>
#include <string>
#include <vector>

namespace sim::core {

// What the placeholders matched, in order, when the whole line matches.
std::optional<std::vector<std::string>> MatchCommand(const std::string& pattern,
                                                     const std::string& line);

}  // namespace sim::core
