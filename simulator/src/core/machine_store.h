#pragma once
// A kept machine's state in its sandbox: the file `.machine-state` (`KEY =
// VALUE` lines: the core's own keys, then every room's), replaced whole at
// every save, and the file `.machine-lock`, whose flock serializes the
// processes working on the machine. Call with the machine mutex held.

#include <optional>
#include <string>

#include "machine.h"

namespace sim::core {

void LockStore(Machine& machine);
void UnlockStore(Machine& machine);
// The saved text; nothing when the sandbox holds no machine yet.
std::optional<std::string> StoredState(const Machine& machine);
// What the text says the machine holds replaces what this process held.
void LoadState(Machine& machine, const std::string& text);
// Writes what the machine holds when it changed since the last load or save.
void SaveState(Machine& machine);

}  // namespace sim::core
