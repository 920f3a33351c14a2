#include "JsonReport.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

JsonObject Report(const char* mode, const Outcome& outcome, bool changed) {
    JsonObject report;
    report.Number("schema_version", kReportSchemaVersion)
        .String("mode", mode)
        .Bool("changed", changed)
        .String("outcome", outcome.name)
        .Number("exit_status", static_cast<int>(outcome.status));
    return report;
}

std::string ErrorObject(std::optional<int> code, const std::string& message,
                        const Outcome& outcome) {
    JsonObject error;
    error.Raw("code", code ? std::to_string(*code) : "null")
        .String("message", message)
        .Bool("retryable", outcome.retryable);
    if (outcome.phase != nullptr) {
        error.String("phase", outcome.phase);
    }
    return error.Text();
}

ReportChannel::ReportChannel(bool json) : m_json(json) {
    if (m_json) {
        std::fflush(stdout);
        m_report = dup(STDOUT_FILENO);
        if (m_report >= 0) {
            dup2(STDERR_FILENO, STDOUT_FILENO);
        }
    }
}

ReportChannel::~ReportChannel() {
    if (m_report >= 0) {
        close(m_report);
    }
}

int ReportChannel::Finish(const Outcome& outcome, const std::string& report) {
    if (m_json) {
        std::cout.flush();
        std::fflush(stdout);
        const std::string line = report + "\n";
        const int target = m_report >= 0 ? m_report : STDOUT_FILENO;
        for (size_t written = 0; written < line.size();) {
            const ssize_t count = write(target, line.data() + written, line.size() - written);
            if (count <= 0) {
                break;
            }
            written += static_cast<size_t>(count);
        }
    }
    return static_cast<int>(outcome.status);
}

int ReportChannel::Fail(ExitStatus status, const char* mode, const std::string& message) {
    std::cerr << "updatehost: " << message << "\n";
    const Outcome outcome = OutcomeOf(status);
    return Finish(outcome, Report(mode, outcome)
                               .Raw("records", "[]")
                               .Raw("error", ErrorObject(std::nullopt, message, outcome))
                               .Text());
}
