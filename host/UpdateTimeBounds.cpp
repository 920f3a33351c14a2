#include "UpdateTimeBounds.h"

#include <cstdio>

namespace {

// The IPMI transport's settings as the package ships them (KORIPMIConfig.xml),
// and its fixed time-out for an answer (20 s and 60 us, taken as 20,001 ms).
constexpr long long kRetryCount = 5;
constexpr long long kRetryIntervalMs = 50;
constexpr long long kAnswerTimeoutMs = 20001;

struct BoundedWait {
    long long count;
    long long eachMs;
    const char* what;
};

// Each wait once at its bound, whatever the path through the update: a run
// that fails early skips the later waits, so the sum is an upper bound.
const BoundedWait kWaits[] = {
    {5, 1000, "IPMI device opening passes"},
    {3, 3000, "IPMI module unloads, each after a pause"},
    {100, 5000, "Orin service readiness checks"},
    {10, 2000, "update session attempts"},
    {160, 2000, "unmount tries for 16 leftover partitions"},
    {10, 2000, "unmount tries on a mount a killed run left"},
    {50, 2000, "disk searches, 10 for each of 5 mount calls"},
    {50, 2000, "mount attempts, 10 for each of 5 mount calls"},
    {10, 2000, "unmount tries at the detach"},
    {3000, 5000, "stage status polls"},
    {2000, 5000, "polls of one command answered 0x02 (running)"},
    {10, 2000, "unmount tries when a failed update cleans up"},
    {59, 1000, "USB storage module unload tries"},
    {kRetryCount * kRetryCount, kAnswerTimeoutMs + kRetryIntervalMs,
     "answer time-outs of one command (RetryCount 5\n"
     "squared; 20.001 s plus RetryInterval 50 ms each)"},
};

long long TotalMs() {
    long long total = 0;
    for (const BoundedWait& wait : kWaits) {
        total += wait.count * wait.eachMs;
    }
    return total;
}

// "15000", "501.275": seconds, with the milliseconds when there are any.
std::string Seconds(long long ms) {
    char text[32];
    if (ms % 1000 == 0) {
        std::snprintf(text, sizeof text, "%lld", ms / 1000);
    } else {
        std::snprintf(text, sizeof text, "%lld.%03lld", ms / 1000, ms % 1000);
    }
    return text;
}

}  // namespace

long long UpdateTimeBoundSeconds() {
    return (TotalMs() + 999) / 1000;
}

long long SupervisorTimeLimitSeconds() {
    constexpr long long kHour = 3600;
    return (UpdateTimeBoundSeconds() + kHour - 1) / kHour * kHour;
}

std::string UpdateTimeBoundTable() {
    std::string text;
    for (const BoundedWait& wait : kWaits) {
        const std::string product =
            std::to_string(wait.count) + " x " + Seconds(wait.eachMs) + " s";
        char columns[64];
        std::snprintf(columns, sizeof columns, "%12s s  %-14s  ",
                      Seconds(wait.count * wait.eachMs).c_str(), product.c_str());
        // A second line of the text starts under the first.
        std::string line = columns;
        const size_t indent = line.size();
        for (const char* c = wait.what; *c != '\0'; ++c) {
            line += *c;
            if (*c == '\n') {
                line += std::string(indent, ' ');
            }
        }
        text += line + "\n";
    }
    char total[64];
    std::snprintf(total, sizeof total, "%12s s  in all\n", Seconds(TotalMs()).c_str());
    return text + total;
}
