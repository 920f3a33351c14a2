#include "ExitStatus.h"

namespace {

struct StatusRow {
    ExitStatus status;
    const char* name;
    bool retryable;
    const char* meaning;  // lines after the first are indented by the table
};

const StatusRow kStatuses[] = {
    {ExitStatus::Success, "success", false,
     "staged, or the check found nothing amiss,\n"
     "or --status found no update and nothing left"},
    {ExitStatus::UpdateFailed, "update-failed", false, "the update failed; the record says why"},
    {ExitStatus::UsageError, "usage-error", false, "bad command line"},
    {ExitStatus::PackageNotFound, "package-not-found", false,
     "a package file, the payload or the library is missing"},
    {ExitStatus::ControllerNotReady, "controller-not-ready", true,
     "the controller is busy or not ready, or --status\n"
     "could not read its state (retryable)"},
    // A lost answer and a disk that never shows up both leave the update
    // waiting; the controller that caused either may well answer next time.
    {ExitStatus::TimedOut, "timed-out", true,
     "the controller or its disk did not answer in time,\n"
     "or an answer was lost or garbled (retryable)"},
    // The payload is copied afresh by the next run, so a mismatch from a
    // transfer fault, a busy controller's refusal or a stage it never ended
    // may all go through then; the same failure twice needs a person.
    {ExitStatus::StageNotAccepted, "stage-not-accepted", true,
     "the controller did not accept the staged payload\n"
     "(checksum mismatch, refusal, timeout; retryable)"},
    // Nothing is loaded or run from a package another user could have
    // changed; trying again changes nothing until the files are root's own.
    {ExitStatus::PackageNotTrusted, "package-not-trusted", false,
     "running as root, updatehost refused a package file or\n"
     "directory that another user owns, may write or has\n"
     "linked elsewhere; nothing was loaded or run"},
    // --status only: a second update would be refused, so a fleet skips the
    // host until the first has ended by itself.
    {ExitStatus::UpdateRunning, "update-running", true,
     "--status: an update is running on this machine\n"
     "(retryable once it has ended)"},
    {ExitStatus::Leftovers, "leftovers", false,
     "--status: no update runs, but one left a partition,\n"
     "a session, a mount, a device link or a udev rule\n"
     "behind (the next update clears them)"},
};

struct CodeRow {
    int code;
    ExitStatus status;
    const char* phase;  // null: the code occurs in more than one phase
};

// Codes of the error catalogue ("ErrorCodes.xml") that tell what failed. The
// README's exit table lists the same codes per status, and
// host/tests/operator_host_test.py holds both to the catalogue.
const CodeRow kCodes[] = {
    {0, ExitStatus::Success, nullptr},
    {2, ExitStatus::UpdateFailed, "security-method"},
    {22, ExitStatus::UpdateFailed, "partition"},
    {23, ExitStatus::UpdateFailed, "partition"},
    {24, ExitStatus::UpdateFailed, "payload"},
    {27, ExitStatus::UpdateFailed, "partition"},
    {28, ExitStatus::TimedOut, nullptr},
    {33, ExitStatus::PackageNotFound, "configuration"},
    {37, ExitStatus::TimedOut, "partition"},
    {44, ExitStatus::UpdateFailed, "partition"},
    {45, ExitStatus::UpdateFailed, "environment"},
    {46, ExitStatus::UpdateFailed, "environment"},
    {55, ExitStatus::UpdateFailed, "stage"},
    {56, ExitStatus::UpdateFailed, "environment"},
    {63, ExitStatus::ControllerNotReady, "session"},
    {66, ExitStatus::StageNotAccepted, "stage"},
    {67, ExitStatus::UpdateFailed, "stage"},
    {68, ExitStatus::UpdateFailed, "stage"},
    {71, ExitStatus::UpdateFailed, "environment"},
    {72, ExitStatus::ControllerNotReady, "environment"},
    {73, ExitStatus::UpdateFailed, "environment"},
    {74, ExitStatus::PackageNotFound, "package"},
    {75, ExitStatus::PackageNotFound, "package"},
    {76, ExitStatus::PackageNotFound, "configuration"},
};

struct GenericCode {
    int code;
    const char* reason;
};

// Catalogue codes that deliberately tell nothing more than that the update
// failed: an update failure of no phase, not retryable, as any code the
// catalogue does not know.
const GenericCode kGenericCodes[] = {
    {1, "kept by a failure that records no code of its own; the log says what"},
    {31, "recorded by unrelated failures in several phases; the log says which"},
};

const StatusRow& RowOf(ExitStatus status) {
    for (const StatusRow& row : kStatuses) {
        if (row.status == status) {
            return row;
        }
    }
    return kStatuses[static_cast<int>(ExitStatus::UpdateFailed)];
}

// Where a meaning's or a code list's lines start in the printed table.
constexpr std::size_t kTextColumn = 27;

std::string Indented(const std::string& text) {
    std::string lines;
    for (const char c : text) {
        lines += c;
        if (c == '\n') {
            lines += std::string(kTextColumn, ' ');
        }
    }
    return lines;
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
        const std::string status = "  " + std::to_string(static_cast<int>(row.status)) + "  ";
        const std::string name = row.name;
        text += status + name + std::string(kTextColumn - status.size() - name.size(), ' ') +
                Indented(row.meaning) + "\n";
        // The record codes that lead here.
        std::string codes;
        for (const CodeRow& code : kCodes) {
            if (code.status == row.status) {
                codes += " " + std::to_string(code.code);
            }
        }
        if (!codes.empty()) {
            const bool several = codes.find(' ', 1) != std::string::npos;
            text += std::string(kTextColumn, ' ') + (several ? "codes" : "code") + codes + "\n";
        }
    }
    text +=
        "Generic codes: an update failure of no phase, not retryable, as is any\n"
        "code not listed:\n";
    for (const GenericCode& generic : kGenericCodes) {
        const std::string code = std::to_string(generic.code);
        text += "  " + code + std::string(4 - code.size(), ' ') + generic.reason + "\n";
    }
    return text;
}
