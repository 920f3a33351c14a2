#pragma once

#include <string>

// The text as one word of a shell command line: unchanged when it holds only
// characters the shell takes literally, otherwise single-quoted, so that a
// path with blanks, quotes or ";" can neither split nor extend the command.
std::string ShellWord(const std::string& text);
