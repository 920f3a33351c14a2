#pragma once
// Test helper: a fresh directory under /tmp, removed with everything in it
// when the helper goes. Optionally the working directory while it lives.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class TemporaryDirectory {
public:
    TemporaryDirectory() {
        char pattern[] = "/tmp/baseutils-test-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        if (!m_previous.empty()) {
            std::filesystem::current_path(m_previous, ignored);
        }
        std::filesystem::remove_all(m_path, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return m_path; }

    // Until the helper goes; the previous working directory comes back then.
    void Enter() {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_path);
    }

    std::string Write(const std::string& name, const std::string& content) const {
        const std::string path = m_path + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return path;
    }

private:
    std::string m_path;
    std::filesystem::path m_previous;
};
