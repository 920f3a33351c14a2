#include "KORLogger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <kortest/LinePattern.h>
#include <kortest/PlantedFiles.h>
#include <kortest/TemporaryDirectory.h>
#include "KORLogFile.h"
#include "KORTime.h"

namespace {

const char kInternal[] = "internal.log";
const char kUser[] = "user.log";

std::string Slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool FileExists(const char* path) {
    return access(path, F_OK) == 0;
}

KORLoggingOptions Options(const char* name, int userLevels, const char* user = kUser,
                          const char* internal = kInternal) {
    KORLoggingOptions options;
    options.SetApplicationName(name);
    options.SetNumberOfSupportedLevels(5);
    options.SetNumberOfLevelsToShowInUserLog(userLevels);
    options.SetUserLogFile(KORFile(KORString(user)));
    options.SetInternalLogFile(KORFile(KORString(internal)));
    return options;
}

std::string Today() {
    KORString date;
    KORTime(KORTime::CurrentTime()).DateToString(date, true);
    return date.GetUTF8String();
}

// The logger is process-wide and writes relative to the working directory.
class KORLoggerTest : public testing::Test {
protected:
    void SetUp() override {
        char* cwd = getcwd(nullptr, 0);
        m_oldDirectory = cwd;
        free(cwd);
        ASSERT_EQ(chdir(m_temp.Path().c_str()), 0);
    }
    void TearDown() override {
        KORLogger::Terminate();
        ASSERT_EQ(chdir(m_oldDirectory.c_str()), 0);
    }

    kortest::TemporaryDirectory m_temp;
    std::string m_oldDirectory;
};

TEST_F(KORLoggerTest, InternalLineHasEveryFieldInPlace) {
    ASSERT_TRUE(KORLogger::Initialize(Options("StageUpdateLibrary", 5)));
    EXPECT_TRUE(KORLogger::IsActive());
    std::string before = Today();
    KORLogger::Log("Initialize", "src/Driver.cpp", 255, KOR_LOG_INFO, "hello %d", 42);
    KORLogger::Log("f", "g.cpp", 7, KOR_LOG_DEBUG, "short line");
    std::string after = Today();
    KORLogger::Terminate();

    std::vector<std::string> lines = Lines(Slurp(kInternal));
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::string> fields;
    ASSERT_TRUE(kortest::LinePattern(
                    "StageUpdateLibrary INFO  : ([0-9]{1,2}/[0-9]{1,2}/[0-9]{4}) "
                    "([01][0-9]:[0-5][0-9][AP]M) Initialize {30}\\(\\) src/Driver\\.cpp {16}"
                    ":255 hello 42")
                    .Matches(lines[0], &fields))
        << lines[0];
    EXPECT_TRUE(fields[1] == before || fields[1] == after) << fields[1];
    EXPECT_TRUE(
        kortest::LinePattern("StageUpdateLibrary DEBUG : [^ ]+ [^ ]+ f {39}\\(\\) g\\.cpp {25}"
                             ":  7 short line")
            .Matches(lines[1]))
        << lines[1];
    // With the library's threshold of 5 the user log is created but stays empty.
    EXPECT_TRUE(FileExists(kUser));
    EXPECT_EQ(Slurp(kUser), "");
}

TEST_F(KORLoggerTest, MacroFillsInTheCallSite) {
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 5)));
    int line = __LINE__ + 1;
    KOR_LOG(KOR_LOG_WARN, "%s", "from the macro");
    KORLogger::Terminate();
    std::string text = Slurp(kInternal);
    EXPECT_NE(text.find(" TestBody"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(__FILE__)), std::string::npos) << text;
    EXPECT_NE(text.find(":" + std::to_string(line) + " from the macro\n"), std::string::npos)
        << text;
}

TEST_F(KORLoggerTest, NewlineFollowsTheFormatNotTheText) {
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 5)));
    KORLogger::Log("f", "x.cpp", 1, KOR_LOG_INFO, "ends\n");
    KORLogger::Log("f", "x.cpp", 2, KOR_LOG_INFO, "open");
    KORLogger::Log("f", "x.cpp", 3, KOR_LOG_INFO, "%s", "text\n");
    KORLogger::Log("f", "x.cpp", 4, KOR_LOG_INFO, "%s", "");
    KORLogger::Terminate();
    std::vector<std::string> lines = Lines(Slurp(kInternal));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[0].find(":  1 ends"), std::string::npos);
    EXPECT_NE(lines[1].find(":  2 open"), std::string::npos);
    EXPECT_NE(lines[2].find(":  3 text"), std::string::npos);
    EXPECT_EQ(lines[3], "");
    EXPECT_NE(lines[4].find(":  4 "), std::string::npos);
}

TEST_F(KORLoggerTest, ExistingLogsAreAppendedToNewOnesCreated) {
    ASSERT_FALSE(FileExists(kInternal));
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 5)));
    EXPECT_EQ(Slurp(kInternal), "");
    KORLogger::Log("f", "x.cpp", 1, KOR_LOG_INFO, "first run");
    KORLogger::Terminate();

    ASSERT_TRUE(KORLogger::Initialize(Options("App", 5)));
    KORLogger::Log("f", "x.cpp", 2, KOR_LOG_INFO, "second run");
    KORLogger::Terminate();
    std::vector<std::string> lines = Lines(Slurp(kInternal));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("first run"), std::string::npos);
    EXPECT_NE(lines[1].find("second run"), std::string::npos);
}

TEST_F(KORLoggerTest, UserLogThresholds) {
    struct Case {
        int threshold;
        std::string levelsInUserLog;  // level digits that reach the user log
    } cases[] = {{1, "01"}, {3, "0123"}, {4, "01234"}, {6, "012346"}};
    for (const Case& c : cases) {
        std::string user = "user" + std::to_string(c.threshold) + ".log";
        ASSERT_TRUE(KORLogger::Initialize(Options("App", c.threshold, user.c_str())));
        for (int level = 0; level <= 6; ++level) {
            KORLogger::Log("f", "x.cpp", 9, level, "level %d", level);
        }
        KORLogger::Terminate();
        std::string seen;
        for (const std::string& line : Lines(Slurp(user))) {
            seen += line.back();
            // The user line does not pad the line number.
            EXPECT_NE(line.find(" x.cpp                         :9 level"), std::string::npos)
                << line;
        }
        EXPECT_EQ(seen, c.levelsInUserLog) << "threshold " << c.threshold;
    }
    EXPECT_EQ(Lines(Slurp(kInternal)).size(), 4u * 7u);
}

TEST_F(KORLoggerTest, TraceThresholdSendsOnlyTraceToStandardError) {
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 5)));
    testing::internal::CaptureStderr();
    KORLogger::Log("f", "x.cpp", 1, KOR_LOG_INFO, "info");
    KORLogger::Log("f", "x.cpp", 2, KOR_LOG_TRACE, "trace");
    KORLogger::Log("f", "x.cpp", 3, KOR_LOG_DEBUG, "debug");
    KORLogger::Log("f", "x.cpp", 4, KOR_LOG_TRACE, "again");
    KORLogger::Terminate();  // must leave standard error open
    std::string errors = testing::internal::GetCapturedStderr();
    std::vector<std::string> lines = Lines(errors);
    ASSERT_EQ(lines.size(), 2u) << errors;
    EXPECT_NE(lines[0].find("App TRACE : "), std::string::npos);
    EXPECT_NE(lines[0].find(":2 trace"), std::string::npos);
    EXPECT_NE(lines[1].find(":4 again"), std::string::npos);
    EXPECT_EQ(Slurp(kUser), "");
    EXPECT_EQ(Lines(Slurp(kInternal)).size(), 4u);
    EXPECT_NE(fprintf(stderr, "%s", ""), -1);
}

TEST_F(KORLoggerTest, TerminateDropsMessagesUntilTheNextInitialize) {
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 5)));
    KORLogger::Log("f", "x.cpp", 1, KOR_LOG_INFO, "kept");
    EXPECT_TRUE(KORLogger::Terminate());
    EXPECT_FALSE(KORLogger::IsActive());
    KORLogger::Log("f", "x.cpp", 2, KOR_LOG_INFO, "dropped");
    EXPECT_TRUE(KORLogger::Terminate());
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 5)));
    KORLogger::Log("f", "x.cpp", 3, KOR_LOG_INFO, "kept again");
    KORLogger::Terminate();
    std::string text = Slurp(kInternal);
    EXPECT_EQ(Lines(text).size(), 2u);
    EXPECT_EQ(text.find("dropped"), std::string::npos);
}

TEST_F(KORLoggerTest, LaterConfigurationKeepsTheFilesButNotTheName) {
    ASSERT_TRUE(KORLogger::Initialize(Options("StageUpdateLibrary", 5)));
    ASSERT_TRUE(
        KORLogger::Initialize(Options("KORIPMILibrary", 5, "koripmi.log", "koripmi_internal.log")));
    KORLogger::Log("f", "x.cpp", 1, KOR_LOG_INFO, "after");
    KORLogger::Terminate();
    EXPECT_FALSE(FileExists("koripmi.log"));
    EXPECT_FALSE(FileExists("koripmi_internal.log"));
    EXPECT_EQ(Slurp(kInternal).rfind("KORIPMILibrary INFO  : ", 0), 0u);
}

TEST_F(KORLoggerTest, NoUserLevelsStillWritesTheInternalLog) {
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 0)));
    EXPECT_TRUE(KORLogger::IsActive());
    KORLogger::Log("f", "x.cpp", 1, KOR_LOG_ERROR, "internal only");
    KORLogger::Terminate();
    EXPECT_FALSE(FileExists(kUser));
    EXPECT_NE(Slurp(kInternal).find("internal only"), std::string::npos);
}

TEST_F(KORLoggerTest, UnopenableLogReportsAndWritesNothing) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(KORLogger::Initialize(Options("App", 5, "missing/user.log")));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors, "Error in Initialize opening user log file: missing/user.log\n");
    EXPECT_FALSE(KORLogger::IsActive());
    KORLogger::Log("f", "x.cpp", 1, KOR_LOG_ERROR, "nowhere");
    KORLogger::Terminate();
    EXPECT_EQ(Slurp(kInternal), "");
}

// The working directory is the package's: whatever someone else put in a
// log's place that is no regular file of its own is refused, without waiting.
TEST_F(KORLoggerTest, PlantedLogIsRefusedWithoutWaiting) {
    std::ofstream("elsewhere.txt") << "not a log\n";
    std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[] { ASSERT_EQ(symlink("elsewhere.txt", kInternal), 0); }, "a symbolic link"}};
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        const bool link = planted.kind == kortest::Planted::LinkToDevice ||
                          planted.kind == kortest::Planted::LinkToFifo;
        cases.emplace_back([&planted] { kortest::Plant(kInternal, planted.kind); },
                           link ? "a symbolic link" : planted.typeName);
    }
    for (const auto& [plant, found] : cases) {
        SCOPED_TRACE(found);
        std::filesystem::remove_all(kInternal);
        plant();
        const kortest::HangGuard guard;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(KORLogger::Initialize(Options("App", 5)));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string(kInternal) + " is " + found +
                      ", not a regular file: no log is written there\n"
                      "Error in Initialize opening user log file: " +
                      kInternal + "\n");
        EXPECT_FALSE(KORLogger::IsActive());
        KORLogger::Terminate();
    }
    EXPECT_EQ(Slurp("elsewhere.txt"), "not a log\n");
}

// Logging is asked for by a file or a directory named "vekdebuglog";
// anything else there counts as absent.
TEST_F(KORLoggerTest, TheMarkerIsAFileOrADirectory) {
    std::vector<std::pair<std::function<void()>, bool>> cases = {
        {[] {}, false},
        {[] { std::ofstream("vekdebuglog"); }, true},
        {[] { ASSERT_EQ(symlink(".", "vekdebuglog"), 0); }, true},
        {[] { ASSERT_EQ(symlink("nowhere", "vekdebuglog"), 0); }, false},
    };
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        cases.emplace_back([&planted] { kortest::Plant("vekdebuglog", planted.kind); },
                           planted.kind == kortest::Planted::Directory);
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        std::filesystem::remove_all("vekdebuglog");
        cases[i].first();
        const kortest::HangGuard guard;
        EXPECT_EQ(KORDebugMarkerPresent(), cases[i].second);
    }
}

TEST_F(KORLoggerTest, ConcurrentCallsWriteWholeLines) {
    const int kThreads = 8;
    const int kLinesPerThread = 1500;
    ASSERT_TRUE(KORLogger::Initialize(Options("App", 4)));
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    std::string padding(200, 'p');
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &padding] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                KORLogger::Log("Worker", "worker.cpp", t, KOR_LOG_INFO, "thread %d line %d %s", t,
                               i, padding.c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    KORLogger::Terminate();

    // The internal header pads the line number to three columns, the user header does not.
    const struct {
        const char* path;
        const char* lineField;
    } logs[] = {{kInternal, "  "}, {kUser, ""}};
    for (const auto& log : logs) {
        kortest::LinePattern whole(
            std::string(R"(App INFO  : [^ ]+ [^ ]+ Worker {34}\(\) worker\.cpp {20}:)") +
            log.lineField + "([0-7]) thread ([0-7]) line ([0-9]+) p{200}");
        std::vector<std::string> lines = Lines(Slurp(log.path));
        ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesPerThread)) << log.path;
        std::map<int, int> nextLine;
        for (const std::string& line : lines) {
            std::vector<std::string> fields;
            ASSERT_TRUE(whole.Matches(line, &fields)) << log.path << ": " << line;
            int thread = std::stoi(fields[2]);
            EXPECT_EQ(std::stoi(fields[1]), thread);
            EXPECT_EQ(std::stoi(fields[3]), nextLine[thread]++);
        }
    }
}

}  // namespace
