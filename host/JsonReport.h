#pragma once
// The frame of updatehost's JSON report and the channel it leaves by: with
// --json, standard output is kept for the report alone while the library
// runs, and anything written to it meanwhile lands on standard error.

#include <optional>
#include <string>

#include "ExitStatus.h"
#include "Json.h"

constexpr int kReportSchemaVersion = 1;

// What every report carries: schema, mode ("update" or "check"), outcome.
JsonObject Report(const char* mode, const Outcome& outcome, bool changed = false);

// code: the record's code, or none for a failure the host found itself.
std::string ErrorObject(std::optional<int> code, const std::string& message,
                        const Outcome& outcome);

class ReportChannel {
public:
    explicit ReportChannel(bool json);
    ~ReportChannel();
    ReportChannel(const ReportChannel&) = delete;
    ReportChannel& operator=(const ReportChannel&) = delete;

    bool Json() const { return m_json; }

    // Ends the run: writes the report (with --json), returns the exit status.
    int Finish(const Outcome& outcome, const std::string& report);

    // A failure the host found before or around the library: says so on
    // standard error and ends the run with a report of no records.
    int Fail(ExitStatus status, const char* mode, const std::string& message);

private:
    bool m_json;
    int m_report = -1;  // the original standard output
};
