// serial
// The transport's own log lines, read back from the process-wide logger.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "DriverManager.h"
#include "IPMIProcessor.h"
#include "IpmiTestSupport.h"
#include "KORIPMIInterfaceImpl.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::CountOccurrences;
using ipmitest::kOrinStatus;
using ipmitest::MakeBlock;
using ipmitest::MakeConfiguration;

class LogLines : public testing::Test {
protected:
    void SetUp() override { ipmitest::ResetSettingsFile(); }
    void TearDown() override { ipmitest::ResetSettingsFile(); }

    ipmitest::ScopedWorkingDirectory m_workingDirectory;
};

TEST_F(LogLines, DeviceOpeningNamesEveryNodeTried) {
    sim::Reset("ipmi.nodes = /dev/ipmi/0");
    ipmitest::LogCapture capture;
    {
        IPMIProcessor processor;
        EXPECT_EQ(processor.Initialize(), 0);
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log, "Open IPMI device : /dev/ipmi0\n"), 1u);
    EXPECT_EQ(CountOccurrences(log, "Open IPMI device : /dev/ipmi/0\n"), 1u);
    EXPECT_EQ(CountOccurrences(log, "open failed for device"), 1u);
    EXPECT_EQ(CountOccurrences(
                  log, "Errno: 2, No such file or directory, open failed for device: /dev/ipmi0\n"),
              1u);
    EXPECT_EQ(CountOccurrences(log, "Open IPMI device : /dev/ipmidev/0"), 0u);
    EXPECT_EQ(CountOccurrences(log, "File Descriptor Value "), 1u);
}

TEST_F(LogLines, NoNodeTriesFifteenOpensInFivePasses) {
    sim::Reset("ipmi.nodes = none");
    ipmitest::LogCapture capture;
    testing::internal::CaptureStderr();
    {
        IPMIProcessor processor;
        EXPECT_NE(processor.Initialize(), 0);
    }
    testing::internal::GetCapturedStderr();
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log, "Open IPMI device : "), 15u);
    EXPECT_EQ(CountOccurrences(log, "open failed for device: "), 15u);
    for (int left = 5; left >= 1; --left) {
        EXPECT_EQ(CountOccurrences(log, "Can't Open any IPMI Device, retries left : " +
                                            std::to_string(left) + "\n"),
                  1u);
    }
}

TEST_F(LogLines, ExchangeDumpsRequestAndResponse) {
    sim::Reset("controller.cc.OrinStatus = 0xC0 1");
    ipmitest::LogCapture capture;
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
    EXPECT_NE(log.find("IPMIProcessor::ExecuteCommand Got IPMI return code as 0 and number of "
                       "retries left are 0 out of 2\n"),
              std::string::npos);
}

TEST_F(LogLines, LostAnswerAndForeignIdAreLogged) {
    sim::Reset("ipmi.fault.OrinStatus = foreign_id\nipmi.fault.OstrelType = no_answer\n");
    ipmitest::LogCapture capture;
    {
        IPMIProcessor processor;
        ASSERT_EQ(processor.Initialize(), 0);
        _KORIPMIConfiguration configuration = MakeConfiguration(2, 1);
        _KORIPMICommandData first = MakeBlock(kOrinStatus, &configuration);
        CKORIPMICommandData firstRecord(&first);
        processor.ExecuteCommand(firstRecord);
        _KORIPMICommandData second = MakeBlock({0x30, 0xA1, 0x03}, &configuration);
        CKORIPMICommandData secondRecord(&second);
        processor.ExecuteCommand(secondRecord);
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log, "Mismatch in message id for id number "), 1u);
    EXPECT_EQ(
        CountOccurrences(
            log, "IPMI Driver Not available for Receiving IPMI Command response for  1 time\n"),
        1u);
    EXPECT_EQ(
        CountOccurrences(
            log, "IPMI Driver Not available for Receiving IPMI Command response for  2 time\n"),
        1u);
}

TEST_F(LogLines, MissingSettingsFileFallsBackToTheCaller) {
    sim::Reset();
    ipmitest::LogCapture capture;
    {
        KORIPMIInterfaceImpl front;
        _KORIPMIConfiguration configuration = MakeConfiguration(5, 50);
        ASSERT_EQ(front.Initialize(&configuration), 0u);
        EXPECT_EQ(front.IPMIRequest(nullptr), 0x101u);
        front.Release();
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log, "Started Logging for KORIPMI Library\n"), 1u);
    EXPECT_EQ(CountOccurrences(log, "KORIPMIXMLConfig::Initialize() - File Not Found\n"), 1u);
    EXPECT_EQ(CountOccurrences(log, "Config couldn't be initialized from configuration file\n"),
              1u);
    EXPECT_EQ(CountOccurrences(log, "Invalid parameter passed\n"), 1u);
}

TEST_F(LogLines, SettingsOutsideTheNestedNodeAreReportedPerKey) {
    ipmitest::WriteTextFile(m_workingDirectory.Path() + "/KORIPMIConfig.xml",
                            "<C><G name=\"Default\"><RetryCount>3</RetryCount></G></C>");
    sim::Reset();
    ipmitest::LogCapture capture;
    {
        KORIPMIInterfaceImpl front;
        ASSERT_EQ(front.Initialize(static_cast<const _KORIPMIConfiguration*>(nullptr)), 0u);
        front.Release();
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log, "KORIPMIXMLConfig::Initialize() File exist\n"), 1u);
    EXPECT_EQ(CountOccurrences(log, "No default IPMI config found\n"), 4u);
}

TEST_F(LogLines, LowerCaseDefaultGroupIsNotFound) {
    ipmitest::WriteTextFile(m_workingDirectory.Path() + "/KORIPMIConfig.xml",
                            "<C><G name=\"default\"><D name=\"Default\"/></G></C>");
    sim::Reset();
    ipmitest::LogCapture capture;
    {
        KORIPMIInterfaceImpl front;
        ASSERT_EQ(front.Initialize(static_cast<const _KORIPMIConfiguration*>(nullptr)), 0u);
        front.Release();
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log, "No default device configuration node found\n"), 4u);
    EXPECT_EQ(CountOccurrences(log, "No default IPMI config found\n"), 4u);
}

TEST_F(LogLines, EveryThreadGetsItsOwnSession) {
    sim::Reset();
    ipmitest::LogCapture capture;
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
        front.Release();
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log, "Creating session object for session ID = "), 3u);
    EXPECT_EQ(ipmitest::CountOpens(), 3u);
}

TEST_F(LogLines, DriverManagerReportsItsCommands) {
    struct Case {
        std::string scenario;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"",
         {"Entering DriverManager::IsDriverAvailable() ipmi_msghandler\n",
          "Command lsmod  | grep ipmi_msghandler > /dev/null 2>&1 , Exit code : 0\n",
          "Driver ipmi_msghandler is loaded\n", "Driver ipmi_devintf is loaded\n",
          "Driver ipmi_si is loaded\n", "DriverManager::ReleaseIPMIDriver() Entering\n"}},
        {"module ipmi_si = loadable\n",
         {"Entering DriverManager::LoadDriver() ipmi_si \n",
          "Command : modprobe ipmi_si > /dev/null 2>&1 , exit code : 0\n",
          "Entering DriverManager::ReleaseDriver() ipmi_si \n",
          "Releasing driver, command : rmmod ipmi_si > /dev/null 2>&1 , Exit code : 0\n",
          "Leaving DriverManager::ReleaseDriver()\n",
          "Unloaded IPMI driver ipmi_si since it is already loaded\n",
          "DriverManager::ReleaseIPMIDriver() Leaving\n"}},
        {"uname.sysname = VMkernel\n",
         {"Detected the system as ESX and hence blacklisting the checks for loading the driver "
          "on Linux Operating System\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        sim::Reset(c.scenario);
        ipmitest::LogCapture capture;
        {
            DriverManager manager;
            EXPECT_EQ(manager.IsIPMIDriverAvailable(), 0);
        }
        const std::string log = capture.Finish();
        for (const std::string& line : c.lines) {
            EXPECT_EQ(CountOccurrences(log, line), 1u) << line;
        }
    }
}

TEST_F(LogLines, OversizeBuffersAreRefusedWithAMessage) {
    ipmitest::LogCapture capture;
    _KORIPMICommandData block = MakeBlock(kOrinStatus, nullptr);
    {
        CKORIPMICommandData record(&block);
        record.SetRequestBufferData(nullptr, 256);
        record.SetResponseBufferData(nullptr, 256);
    }
    const std::string log = capture.Finish();
    EXPECT_EQ(CountOccurrences(log,
                               "CKORIPMICommandData::SetRequestBufferData(), Requested Buffer "
                               "length is greater than Maximum Request length\n"),
              1u);
    EXPECT_EQ(CountOccurrences(log,
                               "CKORIPMICommandData::SetResponseBufferData(), Response length is "
                               "greater than Maximum Buffer length\n"),
              1u);
}

}  // namespace
