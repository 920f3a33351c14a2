#include "ScenarioOutcome.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <regex>
#include <set>
#include <sstream>

namespace hosttest {
namespace {

// Names of the effects some commands stand for: the names expect.effects
// takes for a query, which no controller event shows (simulator/README.md).
const std::map<std::string, std::string> kCommandEffects = {
    {"OstrelType", "environment checks"},    {"OstrelAccessEnabled", "environment checks"},
    {"OrinStatus", "environment checks"},    {"GUIDEnableCheck", "security method"},
    {"OstrelCapability", "security method"}, {"PollStatusStageUpdate", "status poll"},
};

const char kPartitionKey[] = "controller.partition.";
const char kMountPoint[] = "/tmp/SECUPD/";

std::string Trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return "";
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The parts between separators, trimmed, empty ones dropped.
std::vector<std::string> SplitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        part = Trimmed(part);
        if (!part.empty())
            parts.push_back(part);
    }
    return parts;
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string joined;
    for (const std::string& part : parts)
        joined += (joined.empty() ? "" : separator) + part;
    return joined;
}

std::optional<long long> Number(const std::string& text) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0')
        return std::nullopt;
    return value;
}

// "2000x2 5000x1", or "none".
std::string SleepsText(const std::map<long long, int>& sleeps) {
    std::vector<std::string> entries;
    entries.reserve(sleeps.size());
    for (const auto& [ms, count] : sleeps)
        entries.push_back(std::to_string(ms) + "x" + std::to_string(count));
    return entries.empty() ? "none" : Joined(entries, " ");
}

std::optional<std::map<long long, int>> ParseSleeps(const std::string& text) {
    std::map<long long, int> sleeps;
    for (const std::string& entry : SplitOn(text, ' ')) {
        if (entry == "none")
            continue;
        const size_t times = entry.find('x');
        const std::optional<long long> ms = Number(entry.substr(0, times));
        const std::optional<long long> count =
            times == std::string::npos ? std::nullopt : Number(entry.substr(times + 1));
        if (!ms || !count)
            return std::nullopt;
        sleeps[*ms] += static_cast<int>(*count);
    }
    return sleeps;
}

std::string EffectsText(const std::vector<std::string>& effects) {
    return effects.empty() ? "none" : Joined(effects, ", ");
}

// Facts only the simulated machine's trace shows.
const std::set<std::string> kTraceFacts = {
    "effects", "sent", "ran", "sleeps", "partitions_left", "sessions_left_open", "mount_mode"};

// The record fields an expect line names, as the line states them.
const std::map<std::string, std::function<std::string(const Record&)>> kRecordFields = {
    {"status", [](const Record& record) { return std::to_string(record.status); }},
    {"message_id", [](const Record& record) { return std::to_string(record.messageID); }},
    {"message", [](const Record& record) { return record.message; }},
    {"device_type", [](const Record& record) { return std::to_string(record.deviceType); }},
    {"device_name", [](const Record& record) { return record.deviceName; }},
    {"component_type", [](const Record& record) { return record.componentType; }},
    {"component_id", [](const Record& record) { return record.componentID; }},
    {"version", [](const Record& record) { return record.version; }},
    {"display", [](const Record& record) { return record.display; }},
};

// The text of the string member `name` of a JSON object itself, not of one
// nested in it (the PCI identity has a "componentID" and a "display" too);
// escapes stay as written.
std::string TopLevelString(const std::string& object, const std::string& name) {
    const std::string key = "\"" + name + "\":\"";
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < object.size(); ++i) {
        const char c = object[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == '"') {
            if (depth == 1 && object.compare(i, key.size(), key) == 0) {
                const size_t start = i + key.size();
                size_t end = start;
                while (end < object.size() && object[end] != '"')
                    end += object[end] == '\\' ? 2 : 1;
                return object.substr(start, end - start);
            }
            inString = true;
        }
    }
    return "";
}

// The shell command lines in the order they first ran, without the blanks at
// either end (a scenario's values have none).
std::vector<std::string> RanLines(const std::vector<sim::Event>& trace) {
    std::vector<std::string> lines;
    for (const sim::Event& event : trace) {
        const std::string line = Trimmed(event.Field("command"));
        if (event.kind == "shell" && std::find(lines.begin(), lines.end(), line) == lines.end())
            lines.push_back(line);
    }
    return lines;
}

// The mounted directory's mode at each mount the run made, distinct ones in
// the order they first showed.
std::vector<std::string> MountModes(const std::vector<sim::Event>& trace) {
    std::vector<std::string> modes;
    for (const sim::Event& event : trace) {
        const std::string mode = event.Field("mode");
        if (event.kind == "mount" && event.Field("exit") == "0" && !mode.empty() &&
            std::find(modes.begin(), modes.end(), mode) == modes.end())
            modes.push_back(mode);
    }
    return modes;
}

std::vector<std::string> CommandsSent(const std::vector<sim::Event>& trace) {
    std::vector<std::string> names;
    for (const sim::Event& event : trace) {
        const std::string name = event.Field("name");
        if (event.kind == "ipmi_request" &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

}  // namespace

std::vector<Record> ParseRecords(const std::string& json) {
    static const std::regex kRecord(
        R"re(\{"status":(-?\d+),"messageID":(-?\d+),"errorMessage":"((?:[^"\\]|\\.)*)".*?"deviceType":(\d+)\})re");
    std::vector<Record> records;
    for (std::sregex_iterator match(json.begin(), json.end(), kRecord), end; match != end;
         ++match) {
        Record record;
        record.status = std::stoi((*match)[1].str());
        record.messageID = std::stoi((*match)[2].str());
        record.message = (*match)[3].str();
        record.deviceType = std::stoi((*match)[4].str());
        const std::string object = match->str();
        record.deviceName = TopLevelString(object, "deviceName");
        record.componentType = TopLevelString(object, "componentType");
        record.componentID = TopLevelString(object, "componentID");
        record.version = TopLevelString(object, "version");
        record.display = TopLevelString(object, "display");
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<std::string> Effects(const std::vector<sim::Event>& trace) {
    std::vector<std::string> effects;
    auto add = [&effects](const std::string& effect) {
        if (effects.empty() || effects.back() != effect)
            effects.push_back(effect);
    };
    for (const sim::Event& event : trace) {
        if (event.kind == "controller") {
            add(event.Field("event"));
        } else if (event.kind == "ipmi_request") {
            const auto effect = kCommandEffects.find(event.Field("name"));
            if (effect != kCommandEffects.end())
                add(effect->second);
        } else if (event.kind == "file" && event.Field("path").rfind(kMountPoint, 0) == 0 &&
                   event.Field("op") != "stat" && event.Field("op") != "opendir") {
            add("payload written");
        }
    }
    return effects;
}

int CountSent(const std::vector<sim::Event>& trace, const std::string& name) {
    int count = 0;
    for (const sim::Event& event : trace)
        count += event.kind == "ipmi_request" && event.Field("name") == name;
    return count;
}

std::map<long long, int> Sleeps(const std::vector<sim::Event>& trace) {
    std::map<long long, int> sleeps;
    for (const sim::Event& event : trace) {
        const std::optional<long long> ms = Number(event.Field("ms"));
        if (event.kind == "sleep" && ms && *ms != 0)
            ++sleeps[*ms];
    }
    return sleeps;
}

std::vector<std::string> PartitionsLeft(const sim::ScenarioEntries& scenario,
                                        const std::vector<sim::Event>& trace) {
    std::set<std::string> present;
    for (const auto& [key, value] : scenario) {
        if (key.rfind(kPartitionKey, 0) == 0)
            present.insert(key.substr(sizeof kPartitionKey - 1));
    }
    for (const sim::Event& event : trace) {
        if (event.kind != "controller")
            continue;
        if (event.Field("event") == "partition created")
            present.insert(event.Field("partition"));
        if (event.Field("event") == "partition deleted")
            present.erase(event.Field("partition"));
    }
    return {present.begin(), present.end()};
}

int SessionsLeftOpen(const std::vector<sim::Event>& trace) {
    int open = 0;
    for (const sim::Event& event : trace) {
        open += event.kind == "controller" && event.Field("event") == "session opened";
        open -= event.kind == "controller" && (event.Field("event") == "session ended" ||
                                               event.Field("event") == "session timed out");
    }
    return open;
}

sim::Expectations Observed(const RunFacts& run, const sim::ScenarioEntries& scenario) {
    sim::Expectations lines;
    bool statusShared = true;
    for (const char* key : {"status", "message_id", "message", "device_type"}) {
        const auto& field = kRecordFields.at(key);
        std::set<std::string> values;
        for (const Record& record : run.records)
            values.insert(field(record));
        if (values.size() == 1)
            lines.emplace_back(key, *values.begin());
        else if (std::string(key) == "status")
            statusShared = false;
    }
    if (run.records.size() != 1)
        lines.emplace_back("records", std::to_string(run.records.size()));
    // Without records the exit status is what tells the outcome.
    if (run.records.empty() && run.exitStatus)
        lines.emplace_back("exit_status", std::to_string(*run.exitStatus));
    if (!statusShared && !run.records.empty()) {
        std::vector<std::string> statuses;
        for (const Record& record : run.records)
            statuses.push_back(std::to_string(record.status));
        lines.emplace_back("statuses", Joined(statuses, " "));
    }
    if (!run.trace)
        return lines;
    const std::vector<sim::Event>& trace = *run.trace;
    lines.emplace_back("effects", EffectsText(Effects(trace)));
    lines.emplace_back("sleeps", SleepsText(Sleeps(trace)));
    for (const std::string& name : CommandsSent(trace))
        lines.emplace_back("sent", name + " " + std::to_string(CountSent(trace, name)));
    const std::vector<std::string> partitions = PartitionsLeft(scenario, trace);
    if (!partitions.empty())
        lines.emplace_back("partitions_left", Joined(partitions, " "));
    if (const int sessions = SessionsLeftOpen(trace); sessions != 0)
        lines.emplace_back("sessions_left_open", std::to_string(sessions));
    if (const std::vector<std::string> modes = MountModes(trace); modes.size() == 1)
        lines.emplace_back("mount_mode", modes.front());
    for (const std::string& line : RanLines(trace))
        lines.emplace_back("ran", line);
    return lines;
}

namespace {

// What the stated lines say about the checks made once all are read, with
// the defaults of the unstated ones.
struct Stated {
    size_t records = 1;
    bool status = false;
    bool allStaged = true;
    std::optional<int> exitStatus;  // stated outright; else 0 exactly when all are staged
    std::map<long long, int> sleeps;
    std::string partitionsLeft = "none";
    std::string sessionsLeftOpen = "0";
};

bool AllZero(const std::vector<std::string>& statuses) {
    return std::all_of(statuses.begin(), statuses.end(),
                       [](const std::string& status) { return status == "0"; });
}

std::string PartitionsText(const std::vector<std::string>& partitions) {
    return partitions.empty() ? "none" : Joined(partitions, " ");
}

// The problem of an expect line about the records or the output, "" when the
// run meets it.
std::string RunLineProblem(const RunFacts& run, const std::string& key, const std::string& value,
                           Stated* stated) {
    std::string problem;
    const auto field = kRecordFields.find(key);
    if (field != kRecordFields.end()) {
        for (size_t i = 0; i < run.records.size(); ++i) {
            const std::string actual = field->second(run.records[i]);
            if (actual != value)
                problem += (problem.empty() ? "" : ", ") + ("record " + std::to_string(i + 1)) +
                           " has " + actual;
        }
        if (key == "status") {
            stated->status = true;
            stated->allStaged = stated->allStaged && value == "0";
        }
    } else if (key == "statuses") {
        std::vector<std::string> actual;
        for (const Record& record : run.records)
            actual.push_back(std::to_string(record.status));
        const std::vector<std::string> statuses = SplitOn(value, ' ');
        if (actual != statuses)
            problem = "the records' statuses are " + Joined(actual, " ");
        stated->status = true;
        stated->allStaged = stated->allStaged && AllZero(statuses);
    } else if (key == "records") {
        const std::optional<long long> count = Number(value);
        if (!count || *count < 0)
            return "not a count";
        stated->records = static_cast<size_t>(*count);
    } else if (key == "exit_status") {
        const std::optional<long long> status = Number(value);
        if (!status || *status < 0 || *status > 255)
            return "not an exit status";
        stated->exitStatus = static_cast<int>(*status);
    } else if (key == "output") {
        if (run.output.find(value) == std::string::npos)
            problem = "not in the host's output";
    } else if (key == "logged") {
        if (run.log && run.log->find(value) == std::string::npos)
            problem = "not in the library's log";
    } else {
        problem = "unknown expectation";
    }
    return problem;
}

// The problem of an expect line about the machine's trace, "" when the run
// meets it.
std::string TraceLineProblem(const std::vector<sim::Event>& trace, const std::string& key,
                             const std::string& value, Stated* stated) {
    if (key == "effects") {
        const std::string actual = EffectsText(Effects(trace));
        if (EffectsText(SplitOn(value == "none" ? "" : value, ',')) != actual)
            return "the run's effects are " + actual;
    } else if (key == "sent") {
        const std::vector<std::string> words = SplitOn(value, ' ');
        const std::optional<long long> count = words.size() == 2 ? Number(words[1]) : std::nullopt;
        if (!count)
            return "expected 'NAME COUNT'";
        if (const int sent = CountSent(trace, words[0]); sent != *count)
            return "sent " + std::to_string(sent) + " times";
    } else if (key == "ran") {
        const std::vector<std::string> ran = RanLines(trace);
        if (std::find(ran.begin(), ran.end(), value) == ran.end())
            return "no such command line ran";
    } else if (key == "sleeps") {
        const std::optional<std::map<long long, int>> sleeps = ParseSleeps(value);
        if (!sleeps)
            return "expected 'MSxCOUNT ...' or 'none'";
        stated->sleeps = *sleeps;
    } else if (key == "mount_mode") {
        const std::vector<std::string> modes = MountModes(trace);
        if (modes != std::vector<std::string>{value})
            return modes.empty() ? "nothing was mounted"
                                 : "the mounted directory had mode " + Joined(modes, ", ");
    } else if (key == "partitions_left") {
        stated->partitionsLeft = PartitionsText(SplitOn(value, ' '));
    } else if (key == "sessions_left_open") {
        stated->sessionsLeftOpen = value;
    }
    return "";
}

// The pauses, partitions and sessions the run left against the stated ones
// (or their defaults).
std::vector<std::string> LeftoverProblems(const sim::ScenarioEntries& scenario,
                                          const std::vector<sim::Event>& trace,
                                          const Stated& stated) {
    std::vector<std::string> problems;
    const std::string pauses = SleepsText(Sleeps(trace));
    if (pauses != SleepsText(stated.sleeps))
        problems.push_back("the run paused " + pauses + ", not " + SleepsText(stated.sleeps));
    const std::string partitions = PartitionsText(PartitionsLeft(scenario, trace));
    if (partitions != stated.partitionsLeft) {
        problems.push_back("the run left partitions " + partitions + ", not " +
                           stated.partitionsLeft);
    }
    const std::string sessions = std::to_string(SessionsLeftOpen(trace));
    if (sessions != stated.sessionsLeftOpen) {
        problems.push_back("the run left " + sessions + " sessions open, not " +
                           stated.sessionsLeftOpen);
    }
    return problems;
}

}  // namespace

std::vector<std::string> Unmet(const RunFacts& run, const sim::ScenarioEntries& scenario) {
    std::vector<std::string> unmet;
    Stated stated;
    for (const auto& [key, value] : sim::ExpectationsIn(scenario)) {
        std::string problem;
        if (kTraceFacts.count(key) == 0)
            problem = RunLineProblem(run, key, value, &stated);
        else if (run.trace)
            problem = TraceLineProblem(*run.trace, key, value, &stated);
        if (!problem.empty())
            unmet.push_back("expect." + key + " = " + value + ": " + problem);
    }
    if (stated.records > 0 && !stated.status)
        unmet.emplace_back("the scenario states no expect.status");
    if (run.records.size() != stated.records) {
        unmet.push_back("the host reported " + std::to_string(run.records.size()) +
                        " records, not " + std::to_string(stated.records));
    }
    if (run.exitStatus && stated.exitStatus && *run.exitStatus != *stated.exitStatus) {
        unmet.push_back("the host exited with status " + std::to_string(*run.exitStatus) +
                        ", not " + std::to_string(*stated.exitStatus));
    } else if (run.exitStatus && !stated.exitStatus && (*run.exitStatus == 0) != stated.allStaged) {
        unmet.push_back("the host exited with status " + std::to_string(*run.exitStatus) +
                        (stated.allStaged ? ", not 0" : ", though not every update was staged"));
    }
    if (run.trace) {
        for (std::string& problem : LeftoverProblems(scenario, *run.trace, stated))
            unmet.push_back(std::move(problem));
    }
    return unmet;
}

}  // namespace hosttest
