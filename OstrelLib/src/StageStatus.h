#pragma once
// What the controller's stage status byte means to the update: the log line
// it gets, and whether the update is done, must poll again or has failed.

namespace SecureUpdateFramework {

enum class StageOutcome { Finished, PollAgain, Failed };

struct StageStatusMeaning {
    const char* logLine;
    int logLevel;
    StageOutcome outcome;
    // The error code a failure records, or kKeepCurrentCode.
    int errorCode;
};

// A failure that records no code of its own: the current code stays.
constexpr int kKeepCurrentCode = 0;

// The status byte the controller answers while the staging goes on.
constexpr unsigned int kStageStatusPending = 2;
// Where the status byte lies in the stage and poll answers: the third data
// byte after the completion code.
constexpr int kStageStatusPosition = 6;

const StageStatusMeaning& MeaningOfStageStatus(unsigned int status);

}  // namespace SecureUpdateFramework
