#pragma once
// What a run of the host showed, in the vocabulary of a scenario's expect
// lines (simulator/README.md, "Expected outcome"): the facts of a run as
// expect lines, and the scenario's expect lines a run does not meet. The
// end-to-end test, the demo and the VM runner all judge runs here (the last
// two through the scenario-outcome tool).

#include <simmachine/ScenarioFile.h>
#include <simmachine/TraceFile.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hosttest {

// One device record of the host's --json report.
struct Record {
    int status = -1;
    int messageID = -1;
    std::string message;  // as the JSON text has it
    int deviceType = -1;
    // What the update filled in from "package.xml", as the JSON text has it.
    std::string deviceName;
    std::string componentType;
    std::string componentID;
    std::string version;
    std::string display;
};
std::vector<Record> ParseRecords(const std::string& json);

// One run of the host. A run on a real kernel has no machine trace, a run
// whose package directory is gone no log: expectations about them are then
// passed over.
struct RunFacts {
    std::string output;  // the host's standard output
    std::vector<Record> records;
    std::optional<int> exitStatus;
    std::optional<std::vector<sim::Event>> trace;
    std::optional<std::string> log;  // the library's internal log
};

// The controller-visible effects, consecutive repeats folded: the
// controller's own events, the queries, the payload written onto the mounted
// partition and the status polls.
std::vector<std::string> Effects(const std::vector<sim::Event>& trace);
int CountSent(const std::vector<sim::Event>& trace, const std::string& name);
// Pause lengths in milliseconds and how often each was taken.
std::map<long long, int> Sleeps(const std::vector<sim::Event>& trace);
// Partitions on the controller at the end: those the scenario starts with,
// plus those created, minus those deleted.
std::vector<std::string> PartitionsLeft(const sim::ScenarioEntries& scenario,
                                        const std::vector<sim::Event>& trace);
int SessionsLeftOpen(const std::vector<sim::Event>& trace);

// The run's facts as expect lines (KEY without "expect.", VALUE), in the
// order scenarios state them, ready to be copied into one.
sim::Expectations Observed(const RunFacts& run, const sim::ScenarioEntries& scenario);

// One sentence for each of the scenario's expect lines the run does not meet,
// and for each default it breaks (one record; no pause; no partition or
// session left; a stated status; exit status 0 exactly when every record is
// staged).
std::vector<std::string> Unmet(const RunFacts& run, const sim::ScenarioEntries& scenario);

}  // namespace hosttest
