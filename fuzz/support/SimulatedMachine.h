#pragma once
// The simulated machine of the fuzz targets that talk to the controller.

#include <string>

namespace fuzzsim {

// Starts the machine on the first call; later calls give the running machine
// a new scenario for its devices (controller, IPMI device, disks) and empty
// its trace, but keep its sandbox. A fresh sandbox per input costs twenty
// times what the rest of a run does, so scenarios given here must not hold
// file, dir, executable or remove lines. Throws std::runtime_error for a
// malformed scenario.
void Reconfigure(const std::string& scenarioText);

}  // namespace fuzzsim
