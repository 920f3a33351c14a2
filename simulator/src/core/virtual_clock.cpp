#include "virtual_clock.h"

#include "device_registry.h"
#include "machine.h"

namespace sim::core {

uint64_t NowMs() {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    return RunningMachine().clockNs / 1000000;
}

void SleepNs(uint64_t ns, const char* via, const std::vector<TraceField>& extra) {
    const MachineTransaction transaction;
    RunningMachine().clockNs += ns;
    std::vector<TraceField> fields = {TraceText("via", via),
                                      TraceNumber("ms", static_cast<long long>(ns / 1000000))};
    fields.insert(fields.end(), extra.begin(), extra.end());
    Trace("sleep", fields);
    RunClockHandlers();
}

void Sleep(uint64_t ms, const char* via) {
    SleepNs(ms * 1000000, via);
}

}  // namespace sim::core
