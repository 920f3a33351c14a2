#include "ExitStatus.h"

namespace {

struct StatusRow {
    ExitStatus status;
    const char* name;
    bool retryable;
    const char* meaning;
};

const StatusRow kStatuses[] = {
    {ExitStatus::Success, "success", false, "staged, or the check found nothing amiss"},
    {ExitStatus::UpdateFailed, "update-failed", false, "the update failed; the record says why"},
    {ExitStatus::UsageError, "usage-error", false, "bad command line"},
    {ExitStatus::PackageNotFound, "package-not-found", false,
     "a package file, the payload or the library is missing"},
    {ExitStatus::ControllerNotReady, "controller-not-ready", true,
     "the controller is busy or not ready (retryable)"},
    {ExitStatus::TimedOut, "timed-out", true,
     "the controller or its disk did not answer in time (retryable)"},
};

struct CodeRow {
    int code;
    ExitStatus status;
    const char* phase;
};

// Codes of the error catalogue ("ErrorCodes.xml"); any other code is a plain
// failure of unknown phase.
const CodeRow kCodes[] = {
    {0, ExitStatus::Success, nullptr},
    {2, ExitStatus::UpdateFailed, "security-method"},
    {22, ExitStatus::UpdateFailed, "partition"},
    {23, ExitStatus::UpdateFailed, "partition"},
    {24, ExitStatus::UpdateFailed, "payload"},
    {27, ExitStatus::UpdateFailed, "partition"},
    {33, ExitStatus::PackageNotFound, "configuration"},
    {37, ExitStatus::TimedOut, "partition"},
    {44, ExitStatus::UpdateFailed, "partition"},
    {45, ExitStatus::UpdateFailed, "environment"},
    {46, ExitStatus::UpdateFailed, "environment"},
    {55, ExitStatus::UpdateFailed, "stage"},
    {56, ExitStatus::UpdateFailed, "environment"},
    {63, ExitStatus::ControllerNotReady, "session"},
    {66, ExitStatus::TimedOut, "stage"},
    {67, ExitStatus::UpdateFailed, "stage"},
    {68, ExitStatus::UpdateFailed, "stage"},
    {71, ExitStatus::UpdateFailed, "environment"},
    {72, ExitStatus::ControllerNotReady, "environment"},
    {73, ExitStatus::UpdateFailed, "environment"},
    {74, ExitStatus::PackageNotFound, "package"},
    {75, ExitStatus::PackageNotFound, "package"},
    {76, ExitStatus::PackageNotFound, "configuration"},
};

const StatusRow& RowOf(ExitStatus status) {
    for (const StatusRow& row : kStatuses) {
        if (row.status == status) {
            return row;
        }
    }
    return kStatuses[static_cast<int>(ExitStatus::UpdateFailed)];
}

}  // namespace

Outcome OutcomeOf(ExitStatus status) {
    const StatusRow& row = RowOf(status);
    return {row.status, row.name, row.retryable, nullptr};
}

Outcome OutcomeOfCode(int code) {
    for (const CodeRow& row : kCodes) {
        if (row.code == code) {
            Outcome outcome = OutcomeOf(row.status);
            outcome.phase = row.phase;
            return outcome;
        }
    }
    return OutcomeOf(ExitStatus::UpdateFailed);
}

std::string ExitStatusTable() {
    std::string text;
    for (const StatusRow& row : kStatuses) {
        const std::string name = row.name;
        text += "  " + std::to_string(static_cast<int>(row.status)) + "  " + name +
                std::string(22 - name.size(), ' ') + row.meaning;
        // The record codes that lead here, for the statuses an update ends in
        // by its code alone; every other non-zero code is an update failure.
        std::string codes;
        for (const CodeRow& code : kCodes) {
            if (code.status == row.status && code.status != ExitStatus::Success &&
                code.status != ExitStatus::UpdateFailed) {
                codes += " " + std::to_string(code.code);
            }
        }
        text += codes.empty() ? "\n" : "\n" + std::string(28, ' ') + "record codes" + codes + "\n";
    }
    return text;
}
