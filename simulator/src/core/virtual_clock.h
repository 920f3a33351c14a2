#pragma once

#include <cstdint>
#include <vector>

#include "sim_core.h"

namespace sim::core {

// Advances the clock and records a "sleep" event of the whole milliseconds,
// with any extra fields.
void SleepNs(uint64_t ns, const char* via, const std::vector<TraceField>& extra = {});

}  // namespace sim::core
