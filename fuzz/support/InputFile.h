#pragma once
// Hands a fuzz input to a reader that only takes files: one file per
// process, rewritten for each input, in a directory of its own below the
// build's scratch folder (the memory file system for libFuzzer's runs:
// rewriting a file on disk costs more than parsing it).

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzio {

class InputFile {
public:
    explicit InputFile(const std::string& name);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& Directory() const { return m_directory; }
    const std::string& Path() const { return m_path; }
    // Replaces the file's contents; stops the run when that fails, since a
    // stale file would be fuzzed instead.
    void Write(const uint8_t* data, size_t size) const;

private:
    std::string m_directory;
    std::string m_path;
};

}  // namespace fuzzio
