// The transport's own log lines, read back from the process-wide logger.

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <kortest/TemporaryDirectory.h>

#include <string>
#include <thread>

#include "DriverManager.h"
#include "IPMIProcessor.h"
#include "IpmiTestSupport.h"
#include "KORIPMIInterfaceImpl.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::kOrinStatus;
using ipmitest::MakeBlock;
using ipmitest::MakeConfiguration;
using kortest::CountOf;

class LogLines : public testing::Test {
protected:
    void SetUp() override {
        m_workingDirectory.Enter();
        ipmitest::ResetSettingsFile();
    }
    void TearDown() override { ipmitest::ResetSettingsFile(); }

    // The log of one front that initializes and releases, with this settings file.
    std::string FrontLog(const char* settingsDocument) {
        if (settingsDocument != nullptr) {
            m_workingDirectory.Write("KORIPMIConfig.xml", settingsDocument);
        }
        sim::Reset();
        kortest::KorLog capture("KORIPMITest");
        {
            KORIPMIInterfaceImpl front;
            _KORIPMIConfiguration configuration = MakeConfiguration(5, 50);
            EXPECT_EQ(front.Initialize(&configuration), 0u);
            front.Release();
        }
        return capture.Finish();
    }

    kortest::TemporaryDirectory m_workingDirectory;
};

TEST_F(LogLines, DeviceOpeningNamesEveryNodeTried) {
    struct Case {
        const char* nodes;
        size_t opens;
        size_t failedOpens;
        size_t passLines;
    };
    for (const Case& c : {Case{"/dev/ipmi/0", 2, 1, 0}, Case{"none", 15, 15, 5}}) {
        SCOPED_TRACE(c.nodes);
        sim::Reset(std::string("ipmi.nodes = ") + c.nodes);
        kortest::KorLog capture("KORIPMITest");
        testing::internal::CaptureStderr();
        {
            IPMIProcessor processor;
            processor.Initialize();
        }
        testing::internal::GetCapturedStderr();
        const std::string log = capture.Finish();
        EXPECT_EQ(CountOf(log, "Open IPMI device : "), c.opens);
        EXPECT_EQ(
            CountOf(log, "Errno: 2, No such file or directory, open failed for device: /dev/"),
            c.failedOpens);
        EXPECT_EQ(CountOf(log, "Can't Open any IPMI Device, retries left : "), c.passLines);
        EXPECT_EQ(CountOf(log, "File Descriptor Value "), 1u);
    }
}

TEST_F(LogLines, ExchangeDumpsRequestAndResponse) {
    sim::Reset("controller.cc.OrinStatus = 0xC0 1");
    kortest::KorLog capture("KORIPMITest");
    {
        IPMIProcessor processor;
        ASSERT_EQ(processor.Initialize(), 0);
        _KORIPMIConfiguration configuration = MakeConfiguration(2, 1);
        _KORIPMICommandData block = MakeBlock(kOrinStatus, &configuration);
        CKORIPMICommandData record(&block);
        ASSERT_EQ(processor.ExecuteCommand(record), 0);
    }
    const std::string log = capture.Finish();
    // Before the first send the response is still empty.
    EXPECT_NE(log.find("\nIPMI Request :  0x30 0xa1 0x01      IPMI Response :  \n"),
              std::string::npos);
    EXPECT_NE(log.find("\nIPMI Request :  0x30 0xa1 0x01      IPMI Response :   0x31 0xa1 0xc0"),
              std::string::npos);
    EXPECT_NE(log.find("IPMIProcessor::ExecuteCommand Got IPMI return code as c0 and number of "
                       "retries left are 1 out of 2\n"),
              std::string::npos);
}

TEST_F(LogLines, SettingsFileProblemsAreReported) {
    struct Case {
        const char* document;  // null: no file
        std::vector<std::pair<std::string, size_t>> lines;
    };
    const Case cases[] = {
        {nullptr,
         {{"KORIPMIXMLConfig::Initialize() - File Not Found\n", 1},
          {"Config couldn't be initialized from configuration file\n", 1}}},
        {R"(<C><G name="Default"><RetryCount>3</RetryCount></G></C>)",
         {{"KORIPMIXMLConfig::Initialize() File exist\n", 1},
          {"No default IPMI config found\n", 4}}},
        {R"(<C><G name="default"><D name="Default"/></G></C>)",
         {{"No default device configuration node found\n", 4},
          {"No default IPMI config found\n", 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document != nullptr ? c.document : "no file");
        ipmitest::ResetSettingsFile();
        const std::string log = FrontLog(c.document);
        EXPECT_EQ(CountOf(log, "Started Logging for KORIPMI Library\n"), 1u);
        for (const auto& [line, count] : c.lines) {
            EXPECT_EQ(CountOf(log, line), count) << line;
        }
    }
}

TEST_F(LogLines, EveryThreadGetsItsOwnSession) {
    sim::Reset();
    kortest::KorLog capture("KORIPMITest");
    {
        KORIPMIInterfaceImpl front;
        _KORIPMIConfiguration configuration = MakeConfiguration(5, 50);
        ASSERT_EQ(front.Initialize(&configuration), 0u);
        auto sendOne = [&front] {
            _KORIPMIConfiguration own = MakeConfiguration(5, 50);
            _KORIPMICommandData block = MakeBlock(kOrinStatus, &own);
            EXPECT_EQ(front.IPMIRequest(&block), 0u);
            front.Release();
        };
        std::thread first(sendOne);
        std::thread second(sendOne);
        first.join();
        second.join();
        EXPECT_EQ(front.IPMIRequest(nullptr), 0x101u);
        front.Release();
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOf(log, "Creating session object for session ID = "), 3u);
    EXPECT_EQ(CountOf(log, "Invalid parameter passed\n"), 1u);
    EXPECT_EQ(ipmitest::CountOpens(), 3u);
}

TEST_F(LogLines, DriverManagerExplainsTheESXSkip) {
    sim::Reset("uname.sysname = VMkernel\n");
    kortest::KorLog capture("KORIPMITest");
    {
        DriverManager manager;
        EXPECT_EQ(manager.IsIPMIDriverAvailable(), 0);
    }
    EXPECT_EQ(CountOf(capture.Finish(),
                      "Detected the system as ESX and hence blacklisting the checks for "
                      "loading the driver on Linux Operating System\n"),
              1u);
}

}  // namespace
