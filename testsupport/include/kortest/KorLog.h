#pragma once
// Switches the process-wide KORLogger on into "user.log" and "internal.log" of
// a temporary directory while it lives, configured as the library configures
// itself (5 levels, 5 shown in the user log), and reads back what it wrote.

#include <string>
#include <vector>

#include "kortest/LogFile.h"
#include "kortest/TemporaryDirectory.h"

namespace kortest {

class KorLog {
public:
    explicit KorLog(const std::string& applicationName = "kortest");
    ~KorLog();
    KorLog(const KorLog&) = delete;
    KorLog& operator=(const KorLog&) = delete;

    const std::string& Directory() const { return m_directory.Path(); }
    // The messages of the internal log written since the last Take, each as
    // "LEVEL message" without the time and place. The logger flushes only
    // when it closes, so it is closed and opened again.
    std::vector<std::string> Take();
    // Ends logging and returns the whole internal log.
    std::string Finish();

    // Starts the logger on the two files of any directory.
    static void StartInto(const std::string& directory, const std::string& applicationName);

private:
    TemporaryDirectory m_directory;
    std::string m_applicationName;
    LogFile m_internalLog;
};

}  // namespace kortest
