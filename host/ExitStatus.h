#pragma once
// updatehost's exit statuses and how an update's outcome maps onto them: the
// one table operators' scripts rely on (printed by --help, listed in the
// README). A record's code decides the status, whether trying again may help
// and, where the code tells, the phase of the update that failed. Every code
// of the error catalogue has a row, or is listed as deliberately generic with
// the reason.

#include <string>

enum class ExitStatus : int {
    Success = 0,
    UpdateFailed = 1,
    UsageError = 2,
    PackageNotFound = 3,
    ControllerNotReady = 4,
    TimedOut = 5,
    StageNotAccepted = 6,
    PackageNotTrusted = 7,
    UpdateRunning = 8,
    Leftovers = 9,
};

struct Outcome {
    ExitStatus status;
    const char* name;  // the "outcome" of the JSON report
    bool retryable;
    const char* phase;  // null when the code does not tell
};

// The outcome of an update whose record carries this code.
Outcome OutcomeOfCode(int code);
// The outcome of a failure the host itself detects.
Outcome OutcomeOf(ExitStatus status);
// The table as --help prints it.
std::string ExitStatusTable();
