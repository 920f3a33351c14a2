#include "CIPMICommandManagement.h"

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <simmachine/SimMachine.h>

#include <memory>
#include <string>
#include <vector>

#include "CatalogueTestSupport.h"

namespace {

using cataloguetest::CatalogueWorkDir;
using cataloguetest::ExpectFailure;
using cataloguetest::ReceivedRequests;
using IPMIFramework::CIPMICommandManagement;
using kortest::CountLinesWith;
using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;

class CommandCatalogue : public ::testing::Test {
protected:
    void Start(const std::string& scenario = "") {
        // Deleting a catalogue ends the logger; the lines so far are kept.
        m_catalogue.reset();
        KeepLog();
        sim::Reset(scenario);
        m_catalogue = std::make_unique<CIPMICommandManagement>();
    }
    // Every log line since the last call.
    void KeepLog() {
        const Lines recent = m_log.Take();
        m_lines.insert(m_lines.end(), recent.begin(), recent.end());
    }
    Lines TakeLog() {
        KeepLog();
        Lines all;
        all.swap(m_lines);
        return all;
    }
    // The session id the model hands out by default is 0x1234.
    void OpenSession() {
        ASSERT_EQ(m_catalogue->ProcessIPMICommand("BeginOstrelSessionExtend"), 0);
    }

    CatalogueWorkDir m_work;
    kortest::KorLog m_log;
    Lines m_lines;
    std::unique_ptr<CIPMICommandManagement> m_catalogue;
};

TEST_F(CommandCatalogue, StoresTheDeclaredResponseLengthAndDumpsBothDirections) {
    Start("controller.response.OrinStatus = 31 A1 00 07");
    EXPECT_EQ(m_catalogue->ProcessIPMICommand("OrinStatus"), 0);
    EXPECT_EQ(m_catalogue->GetIPMIResponse("OrinStatus"), (Bytes{0x31, 0xA1, 0x00, 0x07, 0x00}));
    EXPECT_EQ(m_catalogue->GetIPMIResponse("OrinStatus", 4, 2), 0x07u);

    EXPECT_EQ(m_catalogue->ProcessIPMICommand("SystemGeneration"), 0);
    EXPECT_EQ(m_catalogue->GetIPMIResponse("SystemGeneration").size(), 9u);
    EXPECT_EQ(m_catalogue->GetIPMIResponse("SystemGeneration", 9, 1), 22u);

    const Lines log = TakeLog();
    EXPECT_EQ(CountLinesWith(log, "INFO IPMI Request for OrinStatus : [  0x30 0xa1 0x01 ] "), 1u);
    EXPECT_EQ(CountLinesWith(log, "INFO IPMI Response for OrinStatus : [  0x31 0xa1 0x00 0x07 ] "),
              1u);
    EXPECT_EQ(CountLinesWith(log,
                             "WARN Response length (5) mentioned in INI file is not matching "
                             "with actual response length (4)."),
              1u);
    EXPECT_EQ(CountLinesWith(log, "Response length (9)"), 0u);
    EXPECT_EQ(ReceivedRequests(), (Lines{"OrinStatus: 30 a1 01", "SystemGeneration: 30 a1 04"}));
}

// A caller that reads a field takes an answer that reports success but ends
// before the field for the refusal 0xCA; the stored answer stays as sent.
TEST_F(CommandCatalogue, AnAnswerShortOfTheFieldReadCountsAsCompletionCodeCA) {
    struct Row {
        const char* scenario;
        const char* name;
        int position;
        int count;
        unsigned char result;
        Bytes stored;
    };
    const Row rows[] = {
        {"controller.response.OrinStatus = 31 A1 00 07",
         "OrinStatus",
         5,
         1,
         0xCA,
         {0x31, 0xA1, 0x00, 0x07, 0x00}},
        {"controller.response.OrinStatus = 31 A1 00 07",
         "OrinStatus",
         4,
         1,
         0x00,
         {0x31, 0xA1, 0x00, 0x07, 0x00}},
        {"controller.response.BeginOstrelSessionExtend = 31 A1 00 34",
         "BeginOstrelSessionExtend",
         4,
         2,
         0xCA,
         {0x31, 0xA1, 0x00, 0x34, 0x00}},
        {"", "SystemGeneration", 9, 1, 0x00, {0x31, 0xA1, 0x00, 0x04, 0, 0, 0, 0, 22}},
        // A refusal keeps its own code.
        {"controller.cc.OrinStatus = 0xC9", "OrinStatus", 5, 1, 0xC9, {0x31, 0xA1, 0xC9, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scenario);
        Start(row.scenario);
        EXPECT_EQ(m_catalogue->ProcessIPMICommandReading(row.name, row.position, row.count),
                  row.result);
        EXPECT_EQ(m_catalogue->GetIPMIResponse(row.name), row.stored);
        const std::size_t warned = CountLinesWith(
            TakeLog(), std::string("WARN IPMI Command (") + row.name + ") answered 4 bytes");
        EXPECT_EQ(warned, row.result == 0xCA ? 1u : 0u);
    }
}

TEST_F(CommandCatalogue, CompletionCodeTwoIsFollowedByStatusPolls) {
    struct Row {
        const char* statuses;
        unsigned char result;
        std::size_t polls;
        std::vector<uint64_t> sleeps;
    };
    const Row rows[] = {
        {"2 2 0", 0x00, 3, {5000, 5000}},
        {"0", 0x00, 1, {}},
        {"5", 0x05, 1, {}},
        {"2 5", 0x05, 2, {5000}},
    };
    for (const Row& row : rows) {
        Start(std::string("controller.long_running.OstrelType = ") + row.statuses);
        EXPECT_EQ(m_catalogue->ProcessIPMICommand("OstrelType"), row.result) << row.statuses;
        EXPECT_EQ(m_catalogue->GetIPMIResponse("OstrelType", 3, 1), row.result) << row.statuses;
        Lines expected{"OstrelType: 30 a1 03"};
        expected.insert(expected.end(), row.polls, "poll: 30 a2 0a 00 00 03 00 00");
        EXPECT_EQ(ReceivedRequests(), expected) << row.statuses;
        EXPECT_EQ(sim::SleepsMs(), row.sleeps) << row.statuses;
    }
    const Lines log = TakeLog();
    EXPECT_EQ(CountLinesWith(log, "DEBUG Polling for last command 1 times"), 2u);
    EXPECT_EQ(CountLinesWith(log, "DEBUG Polling for last command 2 times"), 1u);
    EXPECT_EQ(CountLinesWith(log, "DEBUG Completion status of last command is successfully."), 2u);
    EXPECT_EQ(CountLinesWith(log,
                             "INFO IPMI Request for polling last command : [  0x30 0xa2 0x0a "
                             "0x00 0x00 0x03 0x00 0x00 ] "),
              7u);
}

TEST_F(CommandCatalogue, StatusPollCarriesTheLastRequestsSessionIdAndOperation) {
    Start("controller.long_running.SecureStageUpdateSHA = 0");
    OpenSession();
    EXPECT_EQ(m_catalogue->ProcessIPMICommand("SecureStageUpdateSHA"), 0);
    EXPECT_EQ(ReceivedRequests(),
              (Lines{"BeginOstrelSessionExtend: 30 a1 10 00 00 3c",
                     "SecureStageUpdateSHA: 30 a1 30 34 12", "poll: 30 a2 0a 34 12 30 00 00"}));
}

TEST_F(CommandCatalogue, FailedOrExhaustedStatusPollFailsTheCommand) {
    Start("controller.long_running.OstrelType = 2\ncontroller.poll_cc = 0xC1");
    ExpectFailure([this] { m_catalogue->ProcessIPMICommand("OstrelType"); }, 28);
    EXPECT_EQ(sim::IpmiRequestNames(), (Lines{"OstrelType", "poll"}));
    EXPECT_TRUE(sim::SleepsMs().empty());

    Start("controller.long_running.OstrelType = 2");
    ExpectFailure([this] { m_catalogue->ProcessIPMICommand("OstrelType"); }, 28);
    EXPECT_EQ(sim::IpmiRequestNames().size(), 1u + 2000u);
    EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(2000, 5000));

    // A poll answer that ends before the status reports none.
    Start("controller.long_running.OstrelType = 0\ncontroller.response.poll = 31 A2 00 0A 03");
    ExpectFailure([this] { m_catalogue->ProcessIPMICommand("OstrelType"); }, 28);
    EXPECT_EQ(sim::IpmiRequestNames(), (Lines{"OstrelType", "poll"}));
    EXPECT_TRUE(sim::SleepsMs().empty());
}

TEST_F(CommandCatalogue, RefusedRequestFailsAfterBothDumps) {
    Start("controller.cc.OrinStatus = 0xCC");
    const std::string text =
        ExpectFailure([this] { m_catalogue->ProcessIPMICommand("OrinStatus"); }, 28);
    EXPECT_NE(text.find("]\n\t at ProcessIPMICommand(OstrelLib/src/CIPMICommandManagement.cpp:"),
              std::string::npos)
        << text;
    EXPECT_TRUE(m_catalogue->GetIPMIResponse("OrinStatus").empty());
    const Lines log = TakeLog();
    EXPECT_EQ(CountLinesWith(log, "INFO IPMI Request for OrinStatus : [  0x30 0xa1 0x01 ] "), 1u);
    EXPECT_EQ(CountLinesWith(log, "INFO IPMI Response for OrinStatus : [  0x31 0xa1 0xcc ] "), 1u);
}

TEST_F(CommandCatalogue, OtherCompletionCodesAreReturnedAndLogged) {
    Start("controller.cc.OrinStatus = 0xC9");
    EXPECT_EQ(m_catalogue->ProcessIPMICommand("OrinStatus"), 0xC9);
    EXPECT_EQ(m_catalogue->GetIPMIResponse("OrinStatus"), (Bytes{0x31, 0xA1, 0xC9, 0x00, 0x00}));
    EXPECT_EQ(CountLinesWith(TakeLog(), "WARN IPMI Command execution status in response 0xc9"), 1u);
}

TEST_F(CommandCatalogue, SessionBoundCommandsNeedTheSessionCommandRunFirst) {
    Start();
    ExpectFailure([this] { m_catalogue->ProcessIPMICommand("EndOstrelSession"); }, 2);
    EXPECT_TRUE(sim::IpmiRequests().empty());

    OpenSession();
    EXPECT_EQ(m_catalogue->ProcessIPMICommand("EndOstrelSession"), 0);
    EXPECT_EQ(ReceivedRequests(), (Lines{"BeginOstrelSessionExtend: 30 a1 10 00 00 3c",
                                         "EndOstrelSession: 30 a1 11 34 12"}));
    EXPECT_FALSE(sim::ControllerSessionOpen());
}

TEST_F(CommandCatalogue, CallersFillRequestFieldsByPosition) {
    Start();
    OpenSession();
    m_catalogue->SetIPMIRequest("CreateDynamicPartition", 0x0102u, 6, 2);
    EXPECT_EQ(m_catalogue->ProcessIPMICommand("CreateDynamicPartition"), 0);
    m_catalogue->SetIPMIRequest("SecureStageXMLHashTransferSHA", std::string("abc"), 10u, 8);
    // Beyond the listed bytes: nothing is written, the request stays as it was.
    m_catalogue->SetIPMIRequest("SecureStageXMLHashTransferSHA", 0xFFu, 18, 1);
    m_catalogue->SetIPMIRequest("SecureStageXMLHashTransferSHA", std::string("z"), 2u, 17);
    m_catalogue->ProcessIPMICommand("SecureStageXMLHashTransferSHA");
    const Lines requests = ReceivedRequests();
    // The model refuses a digest piece out of order, and the transport retries it.
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[1], "CreateDynamicPartition: 30 a1 20 34 12 02 01 53 45 43 55 50 44");
    EXPECT_EQ(requests[2],
              "SecureStageXMLHashTransferSHA: 30 a1 35 34 12 00 00 61 62 63 00 00 00 00 00 00 00");
    EXPECT_EQ(CountLinesWith(TakeLog(), "ERROR Request field at position"), 2u);
}

TEST_F(CommandCatalogue, UnknownNamesFailWithCode76) {
    Start();
    const std::vector<std::function<void()>> calls = {
        [this] { m_catalogue->ProcessIPMICommand("Nope"); },
        [this] { m_catalogue->SetIPMIRequest("Nope", 1u, 3, 1); },
        [this] { m_catalogue->SetIPMIRequest("Nope", std::string("x"), 1u, 3); },
        [this] { m_catalogue->GetIPMIRequest("Nope"); },
        [this] { m_catalogue->GetIPMIResponse("Nope"); },
        [this] { m_catalogue->GetIPMIResponse("Nope", 4, 1); },
    };
    for (const auto& call : calls)
        ExpectFailure(call, 76);
    EXPECT_EQ(CountLinesWith(TakeLog(),
                             "ERROR Request IPMI Command (Nope) does not find in INI "
                             "file."),
              calls.size());
    EXPECT_TRUE(sim::IpmiRequests().empty());
}

TEST_F(CommandCatalogue, SessionBoundCommandWithoutSessionCommandInTheFileFailsWithCode76) {
    m_work.Write("ipmi_cmd.ini",
                 "[EndOstrelSession]\nCommand = 30 A1 11 00 00\nRequestLength = 5\n"
                 "ResponseLength = 3\nIsSessionRequired = 1\n");
    Start();
    ExpectFailure([this] { m_catalogue->ProcessIPMICommand("EndOstrelSession"); }, 76);
    EXPECT_EQ(CountLinesWith(TakeLog(),
                             "ERROR Request IPMI Command (BeginOstrelSessionExtend) "
                             "does not find in INI file."),
              1u);
}

TEST_F(CommandCatalogue, CatalogueFilesThatCannotBeUsedAreRefusedAtLoad) {
    const std::string good = "[OrinStatus]\nCommand = 30 A1 01\nRequestLength = 3\n";
    std::string manyBytes = "[Long]\nCommand =";
    for (int i = 0; i < 256; ++i)
        manyBytes += " 00";
    manyBytes += "\nRequestLength = 256\n";
    struct Row {
        std::string content;  // null-like "-" for no file at all
        int code;
        const char* logged;
    };
    const Row rows[] = {
        {"-", 33, "ERROR Error opening file ipmi_cmd.ini."},
        {"", 33, "ERROR Input file (ipmi_cmd.ini) is empty."},
        {good + "garbage\n", 33, "ERROR Error occurred parsing key for line garbage."},
        {"# only a comment\n", 31, "ERROR INI file ipmi_cmd.ini defines no IPMI command."},
        {good + "[Bad]\nCommand = 30 A1\nRequestLength = 3\n", 33,
         "ERROR IPMI Command (Bad) in INI file ipmi_cmd.ini is malformed: RequestLength exceeds "
         "the bytes listed in Command."},
        {"[Big]\nCommand = 30 A1\nResponseLength = 256\n" + good, 33,
         "ERROR IPMI Command (Big) in INI file ipmi_cmd.ini is malformed: ResponseLength exceeds "
         "255."},
        {"[Wrapped]\nCommand = 30 A1\nRequestLength = 4294967298\n", 33,
         "ERROR IPMI Command (Wrapped) in INI file ipmi_cmd.ini is malformed: RequestLength"},
        {manyBytes, 33,
         "ERROR IPMI Command (Long) in INI file ipmi_cmd.ini is malformed: RequestLength exceeds "
         "255."},
        {"[Bound]\nCommand = 30 A1 11 00\nRequestLength = 3\nIsSessionRequired = 1\n", 33,
         "ERROR IPMI Command (Bound) in INI file ipmi_cmd.ini is malformed: the session id "
         "positions 4 and 5 lie beyond the bytes listed in Command."},
    };
    for (const Row& row : rows) {
        std::filesystem::remove("ipmi_cmd.ini");
        if (row.content != "-")
            m_work.Write("ipmi_cmd.ini", row.content);
        sim::Reset();
        ExpectFailure([] { CIPMICommandManagement catalogue; }, row.code);
        EXPECT_EQ(CountLinesWith(TakeLog(), row.logged), 1u) << row.logged;
        // The transport is given back when the constructor fails.
        EXPECT_EQ(sim::TraceOf("ipmi_open").size(), sim::TraceOf("ipmi_close").size());
    }
}

TEST_F(CommandCatalogue, FurtherFilesAddCommandsButKeepExistingOnesAndRejectedOnesAddNothing) {
    Start();
    m_work.Write("more.ini",
                 "[OrinStatus]\nCommand = 30 A1 77\nRequestLength = 3\nResponseLength = 5\n"
                 "[Extra]\nCommand = 30 A1 02\nRequestLength = 3\nResponseLength = 4\n");
    m_catalogue->LoadIPMIData("more.ini");
    m_catalogue->ProcessIPMICommand("OrinStatus");
    EXPECT_EQ(m_catalogue->ProcessIPMICommand("Extra"), 0);
    EXPECT_EQ(ReceivedRequests(), (Lines{"OrinStatus: 30 a1 01", "OstrelAccessEnabled: 30 a1 02"}));

    m_work.Write("bad.ini",
                 "[Fresh]\nCommand = 30 A1 01\nRequestLength = 3\n"
                 "[Bad]\nCommand = 30\nRequestLength = 2\n");
    ExpectFailure([this] { m_catalogue->LoadIPMIData("bad.ini"); }, 33);
    ExpectFailure([this] { m_catalogue->GetIPMIRequest("Fresh"); }, 76);
}

TEST_F(CommandCatalogue, TransportFailuresHaveTheirOwnCodes) {
    sim::Reset("ipmi.nodes = none");
    ExpectFailure([] { CIPMICommandManagement catalogue; }, 46);

    Start("ipmi.fault.OrinStatus = send_fails 99");
    ExpectFailure([this] { m_catalogue->ProcessIPMICommand("OrinStatus"); }, 28);
    EXPECT_EQ(CountLinesWith(TakeLog(), "ERROR IPMI request failed with transport status 0x140."),
              1u);
}

}  // namespace
