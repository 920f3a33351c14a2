#pragma once
// A directory of the test's own below /tmp, removed with everything in it at
// the end of its scope, so that parallel runs never share files.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace simtest {

class TempDirectory {
public:
    TempDirectory() {
        char name[] = "/tmp/simdev-test-XXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "";
    }
    ~TempDirectory() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace simtest
