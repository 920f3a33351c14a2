#include "hold_point_form.h"

#include <vector>

#include "scenario_parser.h"

namespace sim::core {

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<PointForm> ParsePointForm(const std::string& value, std::string* problem) {
    const std::vector<std::string> words = SplitBlanks(value);
    PointForm point;
    if (words.size() >= 2 && words[0] == "command") {
        point.kind = PointKind::kCommand;
        point.what = TrimBlanks(TrimBlanks(value).substr(words[0].size()));
        return point;
    }
    if (words.size() >= 2 && words.size() <= 3 && words[0] == "ipmi") {
        point.what = words[1];
        if (words.size() == 3 && (!ParseNumber(words[2], &point.nth) || point.nth < 1)) {
            *problem = "needs a count of at least 1 after the command name, not '" + words[2] + "'";
            return std::nullopt;
        }
        return point;
    }
    *problem = "must be 'ipmi NAME [N]' or 'command LINE', not '" + value + "'";
    return std::nullopt;
}

std::optional<std::string> HoldPointProblem(const std::string& key, const std::string& value) {
    std::string problem;
    if (ParsePointForm(value, &problem))
        return std::nullopt;
    return "'" + key + "' " + problem;
}

}  // namespace sim::core
