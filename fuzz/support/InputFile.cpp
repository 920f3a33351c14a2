#include "InputFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzzio {

namespace {

// FUZZ_SCRATCH_DIR is the build's choice: the memory file system for
// libFuzzer's runs where the machine has one, /tmp for the replay among the
// tests, which write nothing under /dev.
std::string MakeDirectory() {
    std::string pattern = FUZZ_SCRATCH_DIR "/korfuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    return pattern;
}

}  // namespace

InputFile::InputFile(const std::string& name)
    : m_directory(MakeDirectory()), m_path(m_directory + "/" + name) {}

InputFile::~InputFile() {
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

void InputFile::Write(const uint8_t* data, size_t size) const {
    FILE* file = std::fopen(m_path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written)
        std::abort();
}

}  // namespace fuzzio
