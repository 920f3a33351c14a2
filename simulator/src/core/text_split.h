#pragma once
// The one way the machine's text formats (scenarios, traces, kept state) and
// its paths are cut into pieces.

#include <string>
#include <vector>

namespace sim {

// The pieces of `text` between the separators, empty ones included; a
// separator at the very end ends the last piece rather than starting an
// empty one, and an empty text has no pieces.
std::vector<std::string> SplitOn(const std::string& text, char separator);

}  // namespace sim
