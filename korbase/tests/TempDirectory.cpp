#include "TempDirectory.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

}  // namespace

TempDirectory::TempDirectory() {
    char name[] = "/tmp/korbase-test-XXXXXX";
    if (mkdtemp(name) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = name;
}

TempDirectory::~TempDirectory() {
    nftw(m_path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempDirectory::Join(const std::string& relative) const {
    return m_path + "/" + relative;
}

void TempDirectory::Write(const std::string& relative, const std::string& content) const {
    std::ofstream(Join(relative), std::ios::binary) << content;
}

std::string TempDirectory::Read(const std::string& relative) const {
    std::ifstream file(Join(relative), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}
