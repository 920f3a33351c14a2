#include "hold_points.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <mutex>
#include <optional>
#include <vector>

#include "real_files.h"
#include "real_libc.h"
#include "scenario_parser.h"

namespace sim::core {
namespace {

enum class Action { kPause, kKill };

// One row per key: the action taken where its point is reached.
struct PointKey {
    const char* key;
    Action action;
    const char* name;  // as the trace's "hold" event names it
};
const PointKey kPointKeys[] = {{"pause_before", Action::kPause, "pause"},
                               {"kill_before", Action::kKill, "kill"}};

struct HoldPoint {
    const PointKey* key = nullptr;
    PointForm form;
    long long seen = 0;
};

// A paused program writes its process id here and waits until the file is gone.
constexpr char kPausedFile[] = "paused";
constexpr long kPausePollNs = 10L * 1000 * 1000;

struct Points {
    std::mutex mutex;
    std::vector<HoldPoint> points;
};

Points& ThePoints() {
    static auto* points = new Points;  // reached until the process ends
    return *points;
}

void Load() {
    std::vector<HoldPoint> points;
    const Scenario& scenario = CurrentScenario();
    for (const PointKey& key : kPointKeys) {
        if (!scenario.Has(key.key))
            continue;
        std::string problem;
        if (std::optional<PointForm> form = ParsePointForm(scenario.Get(key.key), &problem))
            points.push_back({&key, *form, 0});
    }
    std::lock_guard<std::mutex> lock(ThePoints().mutex);
    ThePoints().points = std::move(points);
}

// Until the test removes the file. The wait is real: the machine's own sleeps
// only advance its virtual clock. Meanwhile other processes may work on a
// kept machine.
void Pause() {
    const std::string paused = SandboxRoot() + "/" + kPausedFile;
    const std::string written = paused + ".new";
    if (!files::WriteFile(written, std::to_string(getpid()) + "\n") ||
        Real().rename(written.c_str(), paused.c_str()) != 0) {
        return;
    }
    WithMachineReleased([&paused] {
        const timespec step{0, kPausePollNs};
        while (files::Exists(paused))
            syscall(SYS_nanosleep, &step, nullptr);
    });
}

// As a SIGKILL from outside would: no handler, no exit code of the process's
// own runs. A kept machine holds what was done so far.
void Kill() {
    SaveMachineNow();
    kill(getpid(), SIGKILL);
}

const Registration registration([] { AddResetHandler(Load); });

}  // namespace

void ReachPoint(PointKind kind, const std::string& what) {
    std::vector<HoldPoint> reached;
    {
        std::lock_guard<std::mutex> lock(ThePoints().mutex);
        const std::string trimmed = kind == PointKind::kCommand ? TrimBlanks(what) : what;
        for (HoldPoint& point : ThePoints().points) {
            if (point.form.kind == kind && point.form.what == trimmed &&
                ++point.seen == point.form.nth)
                reached.push_back(point);
        }
    }
    for (const HoldPoint& point : reached) {
        Trace("hold",
              {TraceText("action", point.key->name),
               TraceText("before", (point.form.kind == PointKind::kIpmi ? "ipmi " : "command ") +
                                       point.form.what),
               TraceNumber("occurrence", point.form.nth)});
        switch (point.key->action) {
            case Action::kPause:
                Pause();
                break;
            case Action::kKill:
                Kill();
                break;
        }
    }
}

}  // namespace sim::core
