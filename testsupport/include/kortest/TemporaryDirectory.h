#pragma once
// A fresh directory below /tmp for one test, removed with everything in it
// when the helper goes. It can be the working directory while it lives (the
// library reads its configuration from there); Leave() or the destructor
// brings the previous one back.

#include <string>

namespace kortest {

class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return m_path; }
    // Path() + "/" + relative.
    std::string Join(const std::string& relative) const;
    // Writes the file below the directory (creating missing parent
    // directories) and returns its path.
    std::string Write(const std::string& relative, const std::string& content) const;
    // The whole file, or an empty text when it cannot be read.
    std::string Read(const std::string& relative) const;

    void Enter();
    void Leave();

private:
    std::string m_path;
    std::string m_previous;
};

}  // namespace kortest
