#pragma once
// The core's side of the registries the devices half fills: what the
// interposed calls ask before doing the core's own work.

#include <sys/select.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim_core.h"

namespace sim::core {

// The first handler that claims the path. Call with the machine mutex held.
std::optional<int> OpenThroughHandlers(const std::string& machinePath,
                                       const std::string& sandboxPath, int flags);
std::optional<CommandResult> RunCommandHandlers(const std::string& line);
std::optional<CommandResult> RunProgramHandlers(const std::vector<std::string>& argv);
// 0 or an errno value; EINVAL when nothing is mounted there (no handler).
int RunUmountHandler(const std::string& machinePath);
void RunResetHandlers();
void RunModuleHandlers(const std::string& name);
void RunClockHandlers();

// Cheap test for the descriptor calls that most of the process makes.
bool AnyDevices();
std::shared_ptr<FdDevice> DetachDevice(int fd);
void ClearDevices();
// The descriptors below `count` in `set` that carry a device.
std::vector<std::pair<int, std::shared_ptr<FdDevice>>> DevicesIn(int count, const fd_set* set);

}  // namespace sim::core
