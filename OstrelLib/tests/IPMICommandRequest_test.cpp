#include "IPMICommandRequest.h"

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <simmachine/SimMachine.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CatalogueTestSupport.h"

namespace {

using Bytes = std::vector<unsigned char>;
using cataloguetest::CatalogueWorkDir;
using cataloguetest::ExpectFailure;
using IPMIFramework::ExecuteIPMICommandRequest;
using IPMIFramework::kIPMICommandRequestFailed;
using kortest::CountLinesWith;

class IPMICommandRequest : public ::testing::Test {
protected:
    CatalogueWorkDir m_work;
    kortest::KorLog m_log;
    const Bytes m_previous = Bytes(40, 0xEE);
};

TEST_F(IPMICommandRequest, SuccessReplacesALongerPreviousResponseCompletely) {
    sim::Reset("controller.orin_status = 2");
    Bytes response = m_previous;
    EXPECT_EQ(ExecuteIPMICommandRequest("OrinStatus", response), 0u);
    EXPECT_EQ(response, (Bytes{0x31, 0xA1, 0x00, 0x01, 0x02}));
    const auto log = m_log.Take();
    EXPECT_EQ(CountLinesWith(log,
                             "INFO Leaving ProcessIPMICommandRequest() for DidazOrorad "
                             "Library."),
              1u);
    // Each call has a catalogue of its own, given back before it returns.
    EXPECT_EQ(sim::TraceOf("ipmi_open").size(), 1u);
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), 1u);
}

TEST_F(IPMICommandRequest, FailuresLeaveTheCallersResponseUntouched) {
    struct Row {
        const char* scenario;
        const char* name;
        unsigned int result;
    };
    const Row rows[] = {
        {"", "NoSuchCommand", kIPMICommandRequestFailed},
        {"controller.cc.OrinStatus = 0xC9", "OrinStatus", 0xC9},
        {"controller.cc.OrinStatus = 0xCC", "OrinStatus", kIPMICommandRequestFailed},
        {"ipmi.fault.OrinStatus = send_fails 99", "OrinStatus", kIPMICommandRequestFailed},
        // Session-bound: no session command ran on this call's catalogue.
        {"", "EndOstrelSession", kIPMICommandRequestFailed},
    };
    for (const Row& row : rows) {
        sim::Reset(row.scenario);
        Bytes response = m_previous;
        EXPECT_EQ(ExecuteIPMICommandRequest(row.name, response), row.result) << row.scenario;
        EXPECT_EQ(response, m_previous) << row.scenario;
        const std::size_t caught = row.result == kIPMICommandRequestFailed ? 1 : 0;
        EXPECT_EQ(CountLinesWith(m_log.Take(),
                                 "INFO  Expection caught in "
                                 "ProcessIPMICommandRequest() - DidazOrorad Library."),
                  caught)
            << row.scenario;
    }
}

TEST_F(IPMICommandRequest, CatalogueThatCannotBeLoadedReachesTheCaller) {
    sim::Reset();
    std::filesystem::remove("ipmi_cmd.ini");
    Bytes response = m_previous;
    ExpectFailure([&] { ExecuteIPMICommandRequest("OrinStatus", response); }, 33);
    EXPECT_EQ(response, m_previous);
}

}  // namespace
