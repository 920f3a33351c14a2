#pragma once
// File work of the simulator itself (sandbox layout, emulated commands, the
// trace reader), done through the real C library so that it never passes
// through the simulator's own stand-ins.

#include <string>

namespace sim::core::files {

bool Exists(const std::string& path);  // follows links
bool IsDirectory(const std::string& path);
bool ReadFile(const std::string& path, std::string* content);
bool WriteFile(const std::string& path, const std::string& content, unsigned mode = 0644);
// Like mkdir -p: true when the directory exists afterwards.
bool MakeDirectories(const std::string& path);
// Like rm -rf: links are removed, never followed. True when nothing is left.
bool RemoveTree(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to);
std::string BaseName(const std::string& path);
std::string ParentOf(const std::string& path);

}  // namespace sim::core::files
