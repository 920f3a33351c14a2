// CLogger opens its file once per process, so its whole life cycle is one test.
#include "CLogger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <kortest/PlantedFiles.h>
#include <kortest/TemporaryDirectory.h>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TEST(CLoggerTest, WritesOnlyAfterInitialiseAndOpensItsFileOnce) {
    kortest::TemporaryDirectory directory;
    const std::string path = directory.Write("baseutils.log", "line of an earlier run\n");
    CLogger* logger = CLogger::GetInstance();
    ASSERT_EQ(logger, CLogger::GetInstance());

    CLOG("dropped before the file is open");
    EXPECT_EQ(ReadAll(path), "line of an earlier run\n");

    // Whatever stands in a log's place that is no regular file of its own
    // leaves the logger off, without waiting: a link to the earlier log too.
    const std::string planted = directory.Path() + "/planted.log";
    std::vector<std::function<void()>> plants = {
        [&] { ASSERT_EQ(symlink(path.c_str(), planted.c_str()), 0); }};
    for (const kortest::PlantedKind& kind : kortest::PlantedKinds())
        plants.emplace_back([&planted, &kind] { kortest::Plant(planted, kind.kind); });
    for (const auto& plant : plants) {
        std::filesystem::remove_all(planted);
        plant();
        const kortest::HangGuard guard;
        EXPECT_FALSE(logger->Initialize(planted));
        CLOG("dropped while no log is open");
    }
    EXPECT_EQ(ReadAll(path), "line of an earlier run\n");

    EXPECT_FALSE(logger->Initialize(path));
    EXPECT_EQ(ReadAll(path), "") << "the file is emptied when it is opened";

    logger->log("/build/src/CLinuxImpl.cpp", 42, std::string("plain message"));
    std::ostringstream stream;
    stream << "value " << 7;
    logger->log("bare.cpp", 12345, stream);
    EXPECT_EQ(stream.str(), "");
    EXPECT_TRUE(stream.good());
    stream << "reused";
    logger->log("bare.cpp", 1, stream);
    CLOG("through the macro");

    const std::string otherPath = directory.Path() + "/other.log";
    EXPECT_TRUE(logger->Initialize(otherPath));
    EXPECT_FALSE(std::ifstream(otherPath).good());
    logger->log("after.cpp", 2, std::string("still the first file"));

    // Time, ": ", the file name right-aligned in 25 columns, ":", the line
    // right-aligned in 5 columns, ": ", the message.
    const std::string time = R"(\[[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\] : )";
    const auto padded = [](const std::string& text, std::size_t width) {
        return std::string(width - text.size(), ' ') + text;
    };
    const std::regex expected(
        time + padded("CLinuxImpl.cpp", 25) + ":" + padded("42", 5) + ": plain message\n" +  //
        time + padded("bare.cpp", 25) + ":12345: value 7\n" +                                //
        time + padded("bare.cpp", 25) + ":" + padded("1", 5) + ": reused\n" +                //
        time + padded("CLogger_test.cpp", 25) + ": *[0-9]+: through the macro\n" +           //
        time + padded("after.cpp", 25) + ":" + padded("2", 5) + ": still the first file\n");
    EXPECT_TRUE(std::regex_match(ReadAll(path), expected)) << ReadAll(path);
}

TEST(CLoggerTest, FileNameIsThePartAfterTheLastSlash) {
    const struct {
        std::string path;
        std::string name;
    } rows[] = {
        {"/work/src/CLogger.cpp", "CLogger.cpp"},
        {"CLogger.cpp", "CLogger.cpp"},
        {"dir/", ""},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CLogger::getFileName(row.path), row.name) << row.path;
    }
}
