#include "COstrelSession.h"

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <simmachine/SimMachine.h>

#include <memory>
#include <string>
#include <vector>

#include "CIPMICommandManagement.h"
#include "CatalogueTestSupport.h"

namespace {

using cataloguetest::CatalogueWorkDir;
using cataloguetest::ExpectFailure;
using cataloguetest::ReceivedRequests;
using IPMIFramework::CIPMICommandManagement;
using kortest::CountLinesWith;
using SessionFramework::COstrelSession;
using Lines = std::vector<std::string>;

const std::string kBegin = "BeginOstrelSessionExtend: 30 a1 10 00 00 3c";

// Every test deletes the instance it obtained, so the next one starts without.
class OstrelSession : public ::testing::Test {
protected:
    void Start(const std::string& scenario = "") {
        sim::Reset(scenario);
        m_catalogue = std::make_unique<CIPMICommandManagement>();
    }

    CatalogueWorkDir m_work;
    kortest::KorLog m_log;
    std::unique_ptr<CIPMICommandManagement> m_catalogue;
};

TEST_F(OstrelSession, RefusedNineTimesThenGrantedAfterNineSleeps) {
    Start("controller.cc.BeginOstrelSessionExtend = 0xC9 9");
    COstrelSession* session = COstrelSession::GetOstrelSession(m_catalogue.get());
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(ReceivedRequests(), Lines(10, kBegin));
    EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(9, 2000));
    EXPECT_TRUE(sim::ControllerSessionOpen());

    delete session;
    EXPECT_EQ(ReceivedRequests().back(), "EndOstrelSession: 30 a1 11 34 12");
    EXPECT_FALSE(sim::ControllerSessionOpen());
    const Lines log = m_log.Take();
    for (int count = 1; count <= 9; ++count)
        EXPECT_EQ(CountLinesWith(log,
                                 "INFO BeginOstrelSessionExtend command is executed "
                                 "unsuccessful. Retrying Count : " +
                                     std::to_string(count)),
                  1u);
    EXPECT_EQ(CountLinesWith(log, "Retrying Count : 10"), 0u);
    EXPECT_EQ(CountLinesWith(log, "INFO Successfully created ostrel session with value as 4660"),
              1u);
    EXPECT_EQ(CountLinesWith(log, "INFO Successfully ended ostrel session with value as 4660"), 1u);
}

TEST_F(OstrelSession, RefusedTenTimesFailsWithCode63AndTheNextCallTriesAgain) {
    // An answer without the whole session value is a refusal too.
    for (const char* scenario : {"controller.cc.BeginOstrelSessionExtend = 0xC9",
                                 "controller.response.BeginOstrelSessionExtend = 31 A1 00 34"}) {
        SCOPED_TRACE(scenario);
        Start(scenario);
        const std::string text =
            ExpectFailure([this] { COstrelSession::GetOstrelSession(m_catalogue.get()); }, 63);
        EXPECT_EQ(ReceivedRequests(), Lines(10, kBegin));
        EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(10, 2000));
        for (const char* frame : {"]\n\t at BeginOstrelSession(OstrelLib/src/COstrelSession.cpp:",
                                  "]\n\t at COstrelSession(OstrelLib/src/COstrelSession.cpp:",
                                  "]\n\t at GetOstrelSession(OstrelLib/src/COstrelSession.cpp:"})
            EXPECT_NE(text.find(frame), std::string::npos) << frame << "\n" << text;

        ExpectFailure([this] { COstrelSession::GetOstrelSession(m_catalogue.get()); }, 63);
        EXPECT_EQ(ReceivedRequests().size(), 20u);
    }
}

TEST_F(OstrelSession, ASessionValueOfZeroFailsAtOnce) {
    Start("controller.response.BeginOstrelSessionExtend = 31 A1 00 00 00");
    ExpectFailure([this] { COstrelSession::GetOstrelSession(m_catalogue.get()); }, 63);
    EXPECT_EQ(ReceivedRequests(), Lines{kBegin});
    EXPECT_TRUE(sim::SleepsMs().empty());
}

TEST_F(OstrelSession, TheValueIsReadLowByteFirstAndASecondCallSendsNothing) {
    Start("controller.session_id = 0xBEEF");
    COstrelSession* session = COstrelSession::GetOstrelSession(m_catalogue.get());
    EXPECT_EQ(COstrelSession::GetOstrelSession(nullptr), session);
    EXPECT_EQ(ReceivedRequests(), Lines{kBegin});
    EXPECT_EQ(m_catalogue->GetIPMIResponse("BeginOstrelSessionExtend", 4, 2), 0xBEEFu);
    EXPECT_EQ(CountLinesWith(m_log.Take(),
                             "Successfully created ostrel session with value as "
                             "48879"),
              1u);
    delete session;
    EXPECT_EQ(ReceivedRequests().back(), "EndOstrelSession: 30 a1 11 ef be");
}

TEST_F(OstrelSession, AnEndedSessionIsDeletedWithoutASecondEndAndANewOneCanFollow) {
    Start();
    COstrelSession* session = COstrelSession::GetOstrelSession(m_catalogue.get());
    session->EndOstrelSession();
    delete session;
    EXPECT_EQ(ReceivedRequests(), (Lines{kBegin, "EndOstrelSession: 30 a1 11 34 12"}));

    session = COstrelSession::GetOstrelSession(m_catalogue.get());
    EXPECT_EQ(ReceivedRequests().size(), 3u);
    EXPECT_TRUE(sim::ControllerSessionOpen());
    delete session;
    EXPECT_EQ(ReceivedRequests().size(), 4u);
}

TEST_F(OstrelSession, AnEndTheControllerRefusesStillEndsTheSession) {
    Start("controller.cc.EndOstrelSession = 0xC9");
    COstrelSession* session = COstrelSession::GetOstrelSession(m_catalogue.get());
    session->EndOstrelSession();
    session->EndOstrelSession();
    delete session;
    EXPECT_EQ(ReceivedRequests(), (Lines{kBegin, "EndOstrelSession: 30 a1 11 34 12",
                                         "EndOstrelSession: 30 a1 11 34 12"}));
    const Lines log = m_log.Take();
    EXPECT_EQ(CountLinesWith(log,
                             "ERROR Unknow error occurred releaseing ostrel session for "
                             "value as 4660."),
              2u);
    EXPECT_EQ(CountLinesWith(log, "INFO Successfully ended ostrel session with value as 4660"), 2u);
}

TEST_F(OstrelSession, DeletingNeverThrowsWhenTheEndCommandFails) {
    Start("controller.cc.EndOstrelSession = 0xCC");
    COstrelSession* session = COstrelSession::GetOstrelSession(m_catalogue.get());
    EXPECT_NO_THROW(delete session);
    EXPECT_EQ(ReceivedRequests().back(), "EndOstrelSession: 30 a1 11 34 12");
    EXPECT_EQ(CountLinesWith(m_log.Take(),
                             "ERROR Ending ostrel session with value as 4660 "
                             "failed: CVEKException - ["),
              1u);
}

}  // namespace
