// Scenario text into settings: the syntax of every line and the form of
// every key. Built apart from the machine (the simformats library), so that
// runners read scenario files without running a machine.

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "hold_point_form.h"
#include "scenario_parser.h"
#include "simmachine/ScenarioFile.h"
#include "text_split.h"

namespace sim::core {
namespace {

const std::vector<std::string> kModuleStates = {"loaded", "loadable", "unloadable",
                                                "loads-invisibly", "builtin"};
const std::vector<std::string> kUnameFields = {"sysname", "nodename", "release", "version",
                                               "machine"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string Join(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words)
        joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

bool OneOf(const std::string& value, const std::vector<std::string>& choices) {
    return std::find(choices.begin(), choices.end(), value) != choices.end();
}

std::string Choices(const std::vector<std::string>& choices) {
    std::string text;
    for (size_t i = 0; i < choices.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    }
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines = SplitOn(text, '\n');
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    return lines;
}

class LineParser {
public:
    LineParser(const std::string& origin, const std::vector<std::string>& lines)
        : origin_(origin), lines_(lines) {}

    ParsedScenario Parse() {
        ParsedScenario parsed;
        parsed.origin = origin_;
        for (index_ = 0; index_ < lines_.size(); ++index_) {
            const std::string line = Trim(lines_[index_]);
            if (line.empty() || line[0] == '#')
                continue;
            const int number = static_cast<int>(index_) + 1;
            parsed.scenario.entries.push_back(Statement(line));
            parsed.lines.push_back(number);
        }
        return parsed;
    }

private:
    [[noreturn]] void Fail(const std::string& problem) const {
        throw std::runtime_error("scenario " + origin_ + ":" + std::to_string(index_ + 1) + ": " +
                                 problem);
    }

    void RequireAbsolute(const std::string& path) const {
        if (path.empty() || path[0] != '/')
            Fail("path must be absolute: '" + path + "'");
    }

    std::pair<std::string, std::string> Statement(const std::string& line) {
        const std::vector<std::string> words = SplitBlanks(line);
        const std::string& word = words[0];
        if (word == "file")
            return File(line);
        if (word.rfind(kPackagePrefix, 0) == 0 && words.size() > 2 && words[2].rfind("<<", 0) == 0)
            return HereDocument(words[0] + " " + words[1], Trim(line.substr(line.find("<<") + 2)));
        if (word == "command")
            return Command(line);
        if (word == "dir" || word == "executable" || word == "remove" || word == "process") {
            if (words.size() != 2 || line.find('=') != std::string::npos) {
                Fail("expected '" + word + (word == "process" ? " NAME'" : " PATH'"));
            }
            if (word != "process")
                RequireAbsolute(words[1]);
            return {Join(words), ""};
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            Fail("expected 'KEY = VALUE', got '" + line + "'");
        const std::vector<std::string> key = SplitBlanks(line.substr(0, equals));
        const std::string value = Trim(line.substr(equals + 1));
        if (key.empty())
            Fail("missing key before '='");
        Validate(key, value);
        return {Join(key), value};
    }

    void ExpectWords(const std::vector<std::string>& key, size_t count,
                     const std::string& form) const {
        if (key.size() != count)
            Fail("expected '" + form + "'");
    }

    void ExpectCount(const std::string& name, const std::string& value) const {
        long long number = 0;
        if (!ParseNumber(value, &number) || number < 0 || number > INT_MAX) {
            Fail("'" + name + "' needs a count, not '" + value + "'");
        }
    }

    void ExpectChoice(const std::string& name, const std::string& value,
                      const std::vector<std::string>& choices) const {
        if (!OneOf(value, choices)) {
            Fail("'" + name + "' must be " + Choices(choices) + ", not '" + value + "'");
        }
    }

    // Checks a key of the runners, which the machine ignores; false for any
    // other key.
    bool ValidateRunnerKey(const std::vector<std::string>& key, const std::string& value) const {
        const std::string& name = key[0];
        if (name.rfind(kPackagePrefix, 0) == 0) {
            // How a runner lays out the host's package: scripts/lay-out-package.sh
            // knows the names and checks the paths.
            if (key.size() > 2 || name.size() == std::strlen(kPackagePrefix) || value.empty())
                Fail("expected 'package.NAME [PATH] = VALUE' or 'package.NAME PATH <<END'");
        } else if (name.rfind(kHostPrefix, 0) == 0) {
            // How a runner starts the host program.
            if (key.size() != 1 || name.size() == std::strlen(kHostPrefix) || value.empty())
                Fail("expected 'host.NAME = VALUE'");
        } else if (name.rfind(kExpectationPrefix, 0) == 0) {
            // What a runner checks afterwards.
            ExpectWords(key, 1, "expect.KEY = VALUE");
            if (name.size() == std::strlen(kExpectationPrefix) || value.empty())
                Fail("expected 'expect.KEY = VALUE'");
        } else {
            return false;
        }
        return true;
    }

    void Validate(const std::vector<std::string>& key, const std::string& value) const {
        if (ValidateRunnerKey(key, value))
            return;
        const std::string& name = key[0];
        if (name.rfind("ipmi.", 0) == 0 || name.rfind("controller.", 0) == 0) {
            ExpectWords(key, 1, name + " = VALUE");
        } else if (name == "disk") {
            ExpectWords(key, 2, "disk NAME = SETTINGS");
        } else if (name == "link") {
            ExpectWords(key, 2, "link PATH = TARGET");
            RequireAbsolute(key[1]);
            if (value.empty())
                Fail("expected 'link PATH = TARGET'");
        } else if (name == "owner") {
            ExpectWords(key, 2, "owner PATH = UID MODE");
            RequireAbsolute(key[1]);
            const std::vector<std::string> words = SplitBlanks(value);
            long long uid = 0;
            if (words.size() != 2 || !ParseNumber(words[0], &uid) || uid < 0 || uid > INT_MAX ||
                words[1].size() > 4 || words[1].find_first_not_of("01234567") != std::string::npos)
                Fail("expected 'owner PATH = UID MODE' (MODE in octal, like 0755)");
        } else if (name == "mount") {
            ExpectWords(key, 2, "mount DIR = DEVICE");
            RequireAbsolute(key[1]);
            RequireAbsolute(value);
        } else if (name == "module") {
            ExpectWords(key, 2, "module NAME = STATE");
            ExpectChoice("module " + key[1], value, kModuleStates);
        } else if (name == "rmmod_failures") {
            ExpectWords(key, 2, "rmmod_failures NAME = N");
            ExpectCount(Join(key), value);
        } else if (name == "root") {
            ExpectWords(key, 1, "root = yes|no");
            ExpectChoice(name, value, {"yes", "no"});
        } else if (name == "haldaemon") {
            ExpectWords(key, 1, "haldaemon = STATE");
            ExpectChoice(name, value, {"running", "stopped"});
        } else if (name == "norb") {
            ExpectWords(key, 1, "norb = STATE");
            ExpectChoice(name, value, {"installed", "system", "absent"});
        } else if (name == "mount.space") {
            ExpectWords(key, 1, "mount.space = BYTES");
            long long bytes = 0;
            if (!ParseNumber(value, &bytes) || bytes < 0)
                Fail("'mount.space' needs a number of bytes, not '" + value + "'");
        } else if (name == "mount.drop_unflushed") {
            ExpectWords(key, 1, "mount.drop_unflushed = yes|no");
            ExpectChoice(name, value, {"yes", "no"});
        } else if (name == "pause_before" || name == "kill_before") {
            ExpectWords(key, 1, name + " = ipmi NAME [N] | command LINE");
            if (const std::optional<std::string> problem = HoldPointProblem(name, value))
                Fail(*problem);
        } else if (name == "umount_failures") {
            ExpectWords(key, 1, "umount_failures = N");
            ExpectCount(name, value);
        } else if (name.rfind("uname.", 0) == 0) {
            ExpectWords(key, 1, name + " = VALUE");
            if (!OneOf(name.substr(6), kUnameFields)) {
                Fail("unknown key '" + name + "' (uname fields: " + Choices(kUnameFields) + ")");
            }
            if (value.empty())
                Fail("'" + name + "' needs a value");
        } else {
            Fail("unknown key '" + Join(key) + "'");
        }
    }

    std::pair<std::string, std::string> File(const std::string& line) {
        const std::string rest = Trim(line.substr(4));
        const size_t blank = rest.find_first_of(" \t");
        const std::string path = rest.substr(0, blank);
        const std::string tail = blank == std::string::npos ? "" : Trim(rest.substr(blank));
        RequireAbsolute(path);
        if (tail.rfind("<<", 0) == 0)
            return HereDocument("file " + path, Trim(tail.substr(2)));
        if (tail.empty() || tail[0] != '=')
            Fail("expected 'file PATH = TEXT' or 'file PATH <<END'");
        return {"file " + path, Trim(tail.substr(1)) + "\n"};
    }

    // The lines up to the terminator, each with its line feed.
    std::pair<std::string, std::string> HereDocument(const std::string& key,
                                                     const std::string& terminator) {
        if (terminator.empty() || SplitBlanks(terminator).size() != 1)
            Fail("expected '" + SplitBlanks(key).front() + " PATH <<WORD'");
        std::string content;
        for (size_t i = index_ + 1; i < lines_.size(); ++i) {
            if (Trim(lines_[i]) == terminator) {
                index_ = i;
                return {key, content};
            }
            content += lines_[i] + "\n";
        }
        Fail("here-document of " + SplitBlanks(key).back() + " is not closed by " + terminator);
    }

    std::pair<std::string, std::string> Command(const std::string& line) {
        const std::string marker = " => exit ";
        const size_t arrow = line.rfind(marker);
        const std::string form = "expected 'command LINE => exit N [output TEXT]'";
        // The command line is taken verbatim: the library's lines carry
        // significant double and trailing blanks.
        if (line.compare(0, 8, "command ") != 0 || arrow == std::string::npos || arrow < 8) {
            Fail(form);
        }
        const std::string commandLine = line.substr(8, arrow - 8);
        const std::string value = "exit " + line.substr(arrow + marker.size());
        int exitStatus = 0;
        std::string output;
        if (commandLine.empty() || !SplitCommandOverride(value, &exitStatus, &output))
            Fail(form);
        return {"command " + commandLine, value};
    }

    const std::string origin_;
    const std::vector<std::string>& lines_;
    size_t index_ = 0;
};

}  // namespace

bool ParseNumber(const std::string& text, long long* value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const bool negative = !hex && !text.empty() && text[0] == '-';
    const size_t start = hex ? 2 : negative ? 1 : 0;
    if (start >= text.size())
        return false;
    const unsigned long long limit = negative ? static_cast<unsigned long long>(LLONG_MAX) + 1
                                              : static_cast<unsigned long long>(LLONG_MAX);
    unsigned long long result = 0;
    const unsigned base = hex ? 16 : 10;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        if (result > (limit - digit) / base)
            return false;
        result = result * base + digit;
    }
    *value = negative ? static_cast<long long>(0 - result) : static_cast<long long>(result);
    return true;
}

std::vector<std::string> SplitBlanks(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        size_t end = i;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        if (end > i)
            words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

bool SplitCommandOverride(const std::string& value, int* exitStatus, std::string* output) {
    if (value.compare(0, 5, "exit ") != 0)
        return false;
    const std::string rest = value.substr(5);
    const size_t blank = rest.find(' ');
    long long number = 0;
    if (!ParseNumber(rest.substr(0, blank), &number) || number < 0 || number > 255)
        return false;
    *exitStatus = static_cast<int>(number);
    output->clear();
    if (blank == std::string::npos)
        return true;
    const std::string tail = rest.substr(blank + 1);
    if (tail.compare(0, 7, "output ") != 0)
        return false;
    *output = tail.substr(7) + "\n";
    return true;
}

ParsedScenario ParseScenario(const std::string& text, const std::string& origin) {
    return LineParser(origin, SplitLines(text)).Parse();
}

std::vector<std::pair<std::string, std::string>> Scenario::Expectations() const {
    return ExpectationsIn(entries);
}

std::vector<std::pair<std::string, std::string>> Scenario::WithPrefix(
    const std::string& prefix) const {
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& entry : entries) {
        if (entry.first.compare(0, prefix.size(), prefix) == 0)
            found.push_back(entry);
    }
    return found;
}

}  // namespace sim::core

namespace sim {

ScenarioEntries ScenarioEntriesOf(const std::string& scenarioPath) {
    std::ifstream file(scenarioPath);
    if (!file)
        throw std::runtime_error("scenario " + scenarioPath + ": cannot read it");
    std::ostringstream text;
    text << file.rdbuf();
    return core::ParseScenario(text.str(), scenarioPath).scenario.entries;
}

Expectations ExpectationsIn(const ScenarioEntries& entries) {
    Expectations found;
    for (const auto& [key, value] : entries) {
        if (key.rfind(core::kExpectationPrefix, 0) == 0)
            found.emplace_back(key.substr(std::strlen(core::kExpectationPrefix)), value);
    }
    return found;
}

Expectations ScenarioExpectationsOf(const std::string& scenarioPath) {
    return ExpectationsIn(ScenarioEntriesOf(scenarioPath));
}

}  // namespace sim
