#pragma once
// Files of the simulated machine open for writing (descriptors and streams),
// so that a write to one can run out of space on its file system and a
// flush of one reaches that file system.

#include <cstdio>
#include <optional>
#include <string>

namespace sim::core {

void TrackWrittenFile(int fd, const std::string& machinePath);
void TrackWrittenStream(FILE* stream, const std::string& machinePath);
// Also for numbers and streams the C library hands out again after a close
// that bypassed the simulator.
void ForgetWrittenFile(int fd);
void ForgetWrittenStream(FILE* stream);
// Cheap test for the write calls that most of the process makes.
bool AnyWrittenFiles();
std::optional<std::string> WrittenPathOf(int fd);
std::optional<std::string> WrittenPathOf(FILE* stream);

}  // namespace sim::core
