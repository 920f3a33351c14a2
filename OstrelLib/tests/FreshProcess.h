#pragma once
// Test helper: runs part of a test in a child process of its own.
//
// CLinuxUtils keeps the recognised platform and the HAL daemon flag for the
// life of the process and has no way back, as the shipped library must not
// carry a reset for tests. A case that needs them unset therefore runs in a
// child forked from the test process before anything set them: the child
// starts its own simulated machine, drives the library, and reports what it
// saw as lines of text through a pipe; the parent asserts on those lines, so
// a failing case prints the whole report.
//
// The body starts its own machine with sim::Reset (which also drops the
// machine the parent had, so the parent resets before its next use, as every
// test does). Exit handlers do not run in the child, so its sandbox is
// removed here.

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> RunInFreshProcess(
    const std::function<std::vector<std::string>()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    // Buffered output would otherwise be written twice, once by each process.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string report;
        int status = 0;
        try {
            for (const std::string& line : body()) {
                report += line + "\n";
            }
        } catch (const std::exception& error) {
            report += std::string("exception in the child: ") + error.what() + "\n";
            status = 1;
        }
        std::error_code ignored;
        std::filesystem::remove_all(sim::SandboxRoot(), ignored);
        for (std::size_t written = 0; written < report.size();) {
            const ssize_t count =
                write(channel[1], report.data() + written, report.size() - written);
            if (count <= 0) {
                break;
            }
            written += static_cast<std::size_t>(count);
        }
        // No exit handlers: they belong to the parent's test run.
        _exit(status);
    }
    close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t count; (count = read(channel[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<std::size_t>(count));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "child ended with status " << status << "\n"
        << report;

    std::vector<std::string> lines;
    std::istringstream stream(report);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}
