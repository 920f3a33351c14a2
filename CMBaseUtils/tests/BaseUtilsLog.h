#pragma once
// The simple logger opens its file once per process, so every test of an
// executable shares one "baseutils.log" in a temporary directory; a test skips
// what is there and takes the messages written since.

#include <kortest/LogFile.h>
#include <kortest/TemporaryDirectory.h>

#include "CLogger.h"

inline kortest::LogFile& BaseUtilsLog() {
    static const kortest::TemporaryDirectory directory;
    // "[DATE TIME] : FILE: LINE: message"
    static kortest::LogFile log(directory.Join("baseutils.log"),
                                R"(\[[^]]*\] : *[^:]*: *[0-9]+: (.*))");
    static const bool started = CLogger::GetInstance()->Initialize(log.Path());
    (void)started;
    return log;
}
