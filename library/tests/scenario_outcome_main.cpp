// scenario-outcome: judges a run of the host program against a scenario in
// the vocabulary of its expect lines, so that a new scenario's expectations
// are copied from a run rather than written by hand.
//
//   scenario-outcome [--check] [--exit-status N] [--trace FILE] [--log FILE] SCENARIO OUTPUT
//
// OUTPUT is the host's standard output (its --json report), TRACE the
// simulated machine's trace, LOG the library's internal log. Prints the run's
// facts as expect lines; with --check, the scenario's expect lines the run
// does not meet instead, and exits 1 when there is one. Facts of a missing
// trace or log are passed over (a run on a real kernel has no machine trace).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScenarioOutcome.h"

namespace {

const char kUsage[] =
    "usage: scenario-outcome [--check] [--exit-status N] [--trace FILE] [--log FILE] "
    "SCENARIO OUTPUT\n";

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    bool check = false;
    std::optional<int> exitStatus;
    std::string tracePath;
    std::string logPath;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool valued = i + 1 < argc;
        if (argument == "--check") {
            check = true;
        } else if (argument == "--exit-status" && valued) {
            exitStatus = std::atoi(argv[++i]);
        } else if (argument == "--trace" && valued) {
            tracePath = argv[++i];
        } else if (argument == "--log" && valued) {
            logPath = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            std::cerr << kUsage;
            return 2;
        } else {
            operands.push_back(argument);
        }
    }
    if (operands.size() != 2) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        const sim::ScenarioEntries scenario = sim::ScenarioEntriesOf(operands[0]);
        hosttest::RunFacts run;
        run.output = ReadWhole(operands[1]);
        run.records = hosttest::ParseRecords(run.output);
        run.exitStatus = exitStatus;
        if (!tracePath.empty())
            run.trace = sim::ParseTrace(ReadWhole(tracePath));
        if (!logPath.empty()) {
            // A run that logged nothing made no log file; one that found no
            // regular file in the log's place wrote none (and a FIFO there
            // would never end a read).
            run.log = std::filesystem::is_regular_file(logPath) ? ReadWhole(logPath) : "";
        }
        if (!check) {
            for (const auto& [key, value] : hosttest::Observed(run, scenario))
                std::cout << "expect." << key << " = " << value << "\n";
            return 0;
        }
        const std::vector<std::string> unmet = hosttest::Unmet(run, scenario);
        for (const std::string& problem : unmet)
            std::cout << problem << "\n";
        return unmet.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "scenario-outcome: " << error.what() << "\n";
        return 2;
    }
}
