#include "hold_points.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>
#include <mutex>
#include <vector>

#include "real_files.h"
#include "real_libc.h"
#include "scenario_parser.h"

namespace sim::core {
namespace {

enum class Action { kPause };

// One row per key: the action taken where its point is reached.
struct PointKey {
    const char* key;
    Action action;
    const char* name;  // as the trace's "hold" event names it
};
const PointKey kPointKeys[] = {{"pause_before", Action::kPause, "pause"}};

struct HoldPoint {
    const PointKey* key = nullptr;
    PointKind kind = PointKind::kIpmi;
    std::string what;   // the command's name, or the command line
    long long nth = 1;  // the occurrence it holds before
    long long seen = 0;
};

// A paused program writes its process id here and waits until the file is gone.
constexpr char kPausedFile[] = "paused";
constexpr long kPausePollNs = 10 * 1000 * 1000;

struct Points {
    std::mutex mutex;
    std::vector<HoldPoint> points;
};

Points& ThePoints() {
    static auto* points = new Points;  // reached until the process ends
    return *points;
}

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "ipmi NAME [N]" or "command LINE"; the problem otherwise.
std::optional<HoldPoint> ParsePoint(const std::string& value, std::string* problem) {
    const std::vector<std::string> words = SplitBlanks(value);
    HoldPoint point;
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

void Load() {
    std::vector<HoldPoint> points;
    const Scenario& scenario = CurrentScenario();
    for (const PointKey& key : kPointKeys) {
        if (!scenario.Has(key.key))
            continue;
        std::string problem;
        std::optional<HoldPoint> point = ParsePoint(scenario.Get(key.key), &problem);
        if (point) {
            point->key = &key;
            points.push_back(*point);
        }
    }
    std::lock_guard<std::mutex> lock(ThePoints().mutex);
    ThePoints().points = std::move(points);
}

// Until the test removes the file. The wait is real: the machine's own sleeps
// only advance its virtual clock.
void Pause() {
    const std::string paused = SandboxRoot() + "/" + kPausedFile;
    const std::string written = paused + ".new";
    if (!files::WriteFile(written, std::to_string(getpid()) + "\n") ||
        Real().rename(written.c_str(), paused.c_str()) != 0) {
        return;
    }
    const timespec step{0, kPausePollNs};
    while (files::Exists(paused))
        syscall(SYS_nanosleep, &step, nullptr);
}

const Registration registration([] { AddResetHandler(Load); });

}  // namespace

std::optional<std::string> HoldPointProblem(const std::string& key, const std::string& value) {
    std::string problem;
    if (ParsePoint(value, &problem))
        return std::nullopt;
    return "'" + key + "' " + problem;
}

void ReachPoint(PointKind kind, const std::string& what) {
    std::vector<HoldPoint> reached;
    {
        std::lock_guard<std::mutex> lock(ThePoints().mutex);
        const std::string trimmed = kind == PointKind::kCommand ? TrimBlanks(what) : what;
        for (HoldPoint& point : ThePoints().points) {
            if (point.kind == kind && point.what == trimmed && ++point.seen == point.nth)
                reached.push_back(point);
        }
    }
    for (const HoldPoint& point : reached) {
        Trace("hold", {TraceText("action", point.key->name),
                       TraceText("before", (point.kind == PointKind::kIpmi ? "ipmi " : "command ") +
                                               point.what),
                       TraceNumber("occurrence", point.nth)});
        switch (point.key->action) {
            case Action::kPause:
                Pause();
                break;
        }
    }
}

}  // namespace sim::core
