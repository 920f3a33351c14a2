#pragma once
// Test helper: a fresh directory under /tmp that becomes the working
// directory for the helper's lifetime (the library reads its files from
// there); the previous working directory comes back and the directory goes.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class ScopedTempWorkDir {
public:
    ScopedTempWorkDir() : m_previous(std::filesystem::current_path()) {
        char pattern[] = "/tmp/vek-work-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_directory = pattern;
        std::filesystem::current_path(m_directory);
    }
    ~ScopedTempWorkDir() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        std::filesystem::remove_all(m_directory, ignored);
    }
    ScopedTempWorkDir(const ScopedTempWorkDir&) = delete;
    ScopedTempWorkDir& operator=(const ScopedTempWorkDir&) = delete;

    const std::string& Path() const { return m_directory; }

    // Writes the file (a relative name lands in the directory) and returns its path.
    std::string WriteFile(const std::string& name, const std::string& content) const {
        const std::string path = m_directory + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return path;
    }

private:
    std::filesystem::path m_previous;
    std::string m_directory;
};
