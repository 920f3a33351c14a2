#include "SimulatedMachine.h"

#include <simmachine/SimMachine.h>
#include <unistd.h>

#include <mutex>

#include "device_registry.h"
#include "machine.h"

namespace fuzzsim {

void Reconfigure(const std::string& scenarioText) {
    static bool started = false;
    if (!started) {
        sim::Reset(scenarioText);
        started = true;
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
    sim::core::Machine& machine = sim::core::RunningMachine();
    machine.parsed = sim::core::ParseScenario(scenarioText, "<fuzz input>");
    machine.settings = sim::core::MachineSettings::FromScenario(machine.parsed.scenario);
    sim::core::RunResetHandlers();
    // Millions of runs would otherwise fill the disk with trace lines.
    if (ftruncate(machine.traceFd, 0) != 0)
        __builtin_trap();
}

}  // namespace fuzzsim
