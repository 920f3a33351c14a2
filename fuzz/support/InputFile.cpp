#include "InputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzzio {

namespace {

std::string MakeDirectory() {
    struct stat info;
    std::string pattern = stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode)
                              ? "/dev/shm/korfuzz-XXXXXX"
                              : "/tmp/korfuzz-XXXXXX";
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
