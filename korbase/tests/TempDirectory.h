#pragma once
// A fresh directory under /tmp for one test, removed with everything in it.

#include <string>

class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return m_path; }
    // Path() + "/" + relative
    std::string Join(const std::string& relative) const;
    // Writes a file below the directory, creating nothing else.
    void Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;

private:
    std::string m_path;
};
