#include "kortest/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kortest {

TemporaryDirectory::TemporaryDirectory() {
    char pattern[] = "/tmp/kortest-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    Leave();
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TemporaryDirectory::Join(const std::string& relative) const {
    return m_path + "/" + relative;
}

std::string TemporaryDirectory::Write(const std::string& relative,
                                      const std::string& content) const {
    const std::filesystem::path path = Join(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return path.string();
}

std::string TemporaryDirectory::Read(const std::string& relative) const {
    std::ifstream file(Join(relative), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void TemporaryDirectory::Enter() {
    if (m_previous.empty()) {
        m_previous = std::filesystem::current_path().string();
    }
    std::filesystem::current_path(m_path);
}

void TemporaryDirectory::Leave() {
    if (!m_previous.empty()) {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        m_previous.clear();
    }
}

}  // namespace kortest
