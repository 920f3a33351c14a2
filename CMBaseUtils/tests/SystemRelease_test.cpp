#include "SystemRelease.h"

#include <gtest/gtest.h>

#include <string>

#include <kortest/TemporaryDirectory.h>

TEST(SystemReleaseTest, FileContainsTextReadsEveryLineToTheEnd) {
    const std::string marker = "WMB_MAJOR_VERSION";
    const struct {
        const char* what;
        std::string content;
        bool found;
    } rows[] = {
        {"first line", marker + "=3\n", true},
        {"later line", "BUILD=7\nNAME=x\n" + marker + "=3\n", true},
        {"deep inside a long line", std::string(5000, 'x') + marker + "\n", true},
        {"across the read buffer's edge", std::string(1020, 'x') + marker, true},
        {"long line without it, no final line feed", std::string(10000, 'x'), false},
        {"only a part of it", "WMB_MAJOR\n_VERSION\n", false},
        {"empty file", "", false},
    };
    kortest::TemporaryDirectory directory;
    for (const auto& row : rows) {
        const std::string path = directory.Write("release", row.content);
        EXPECT_EQ(SystemRelease::FileContainsText(path, marker), row.found) << row.what;
    }
    EXPECT_FALSE(SystemRelease::FileContainsText(directory.Path() + "/missing", marker));
    EXPECT_FALSE(SystemRelease::FileContainsText(directory.Path(), marker)) << "a directory";
}

TEST(SystemReleaseTest, ReadFirstLineTakesAtMostTheBufferOfTheFirstLine) {
    const struct {
        const char* what;
        std::string content;
        std::string line;
    } rows[] = {
        {"two lines", "Red Hat Enterprise Linux\nsecond\n", "Red Hat Enterprise Linux\n"},
        {"no line feed", "CentOS", "CentOS"},
        {"empty file", "", ""},
        {"overlong line", std::string(3000, 'r'), std::string(1023, 'r')},
    };
    kortest::TemporaryDirectory directory;
    for (const auto& row : rows) {
        std::string line = "unchanged";
        EXPECT_TRUE(SystemRelease::ReadFirstLine(directory.Write("release", row.content), line));
        EXPECT_EQ(line, row.line) << row.what;
    }
    std::string line;
    EXPECT_FALSE(SystemRelease::ReadFirstLine(directory.Path() + "/missing", line));
}
