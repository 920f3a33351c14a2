#include "COstrelUtils.h"

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <simmachine/SimMachine.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CIPMICommandManagement.h"
#include "CatalogueTestSupport.h"
#include "FreshProcess.h"

namespace {

using cataloguetest::CatalogueWorkDir;
using cataloguetest::ExpectFailure;
using IPMIFramework::CIPMICommandManagement;
using kortest::CountLinesWith;
using VEKOstrelCommon::COstrelUtils;
using Lines = std::vector<std::string>;

// The Orin lines of a log.
Lines OrinLines(const Lines& log) {
    Lines lines;
    for (const std::string& line : log)
        if (line.find("CheckOrinRunningStatus") != std::string::npos)
            lines.push_back(line);
    return lines;
}

TEST(OrinRunningStatus, WaitsWhileTheServiceIsBusyAndGivesUpAtOnceOtherwise) {
    const std::string ready = "ERROR COstrelUtils::CheckOrinRunningStatus() : Orin is ready.";
    struct Row {
        const char* scenario;
        bool ready;
        std::size_t requests;
        std::vector<uint64_t> sleeps;
        Lines log;
    };
    const Row rows[] = {
        {"controller.orin_status = 2 2 0",
         true,
         3,
         {5000, 5000},
         {"WARN COstrelUtils::CheckOrinRunningStatus() : Orin is Reloading.. Retrying times 0.",
          "WARN COstrelUtils::CheckOrinRunningStatus() : Orin is Reloading.. Retrying times 1.",
          ready}},
        {"controller.orin_status = 4 1 5",
         true,
         3,
         {5000, 5000},
         {"WARN COstrelUtils::CheckOrinRunningStatus() : Orin is Recovering.. Retrying times 0.",
          "WARN COstrelUtils::CheckOrinRunningStatus() : Orin is not Ready.. Retrying times 1.",
          "ERROR COstrelUtils::CheckOrinRunningStatus() : Orin is being used."}},
        {"controller.orin_status = 0", true, 1, {}, {ready}},
        {"controller.orin_status = 3", false, 1, {}, {}},
        {"controller.orin_status = 2 6",
         false,
         2,
         {5000},
         {"WARN COstrelUtils::CheckOrinRunningStatus() : Orin is Reloading.. Retrying times 0."}},
        {"controller.cc.OrinStatus = 0xC9", false, 1, {}, {}},
        // Without the status byte: a refusal, not status 0.
        {"controller.response.OrinStatus = 31 A1 00 01", false, 1, {}, {}},
    };
    CatalogueWorkDir work;
    kortest::KorLog log;
    for (const Row& row : rows) {
        sim::Reset(row.scenario);
        auto catalogue = std::make_unique<CIPMICommandManagement>();
        EXPECT_EQ(COstrelUtils::CheckOrinRunningStatus(catalogue.get()), row.ready) << row.scenario;
        EXPECT_EQ(sim::IpmiRequestNames(), Lines(row.requests, "OrinStatus")) << row.scenario;
        EXPECT_EQ(sim::SleepsMs(), row.sleeps) << row.scenario;
        // Deleting the catalogue ends the logger; Take starts it again.
        catalogue.reset();
        EXPECT_EQ(OrinLines(log.Take()), row.log) << row.scenario;
    }
}

TEST(OrinRunningStatus, AServiceThatNeverGetsReadyCostsOneHundredChecks) {
    CatalogueWorkDir work;
    kortest::KorLog log;
    sim::Reset("controller.orin_status = 1");
    CIPMICommandManagement catalogue;
    EXPECT_FALSE(COstrelUtils::CheckOrinRunningStatus(&catalogue));
    EXPECT_EQ(sim::IpmiRequestNames(), Lines(100, "OrinStatus"));
    EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(100, 5000));
    const Lines lines = OrinLines(log.Take());
    ASSERT_EQ(lines.size(), 101u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(
            lines[i],
            "WARN COstrelUtils::CheckOrinRunningStatus() : Orin is not Ready.. Retrying times " +
                std::to_string(i) + ".");
    EXPECT_EQ(lines[100], "ERROR COstrelUtils::CheckOrinRunningStatus() : Orin is not Ready.");
}

TEST(OrinRunningStatus, CatalogueFailuresPassWithTheQuerysFrame) {
    CatalogueWorkDir work;
    work.Write("ipmi_cmd.ini", "[OstrelType]\nCommand = 30 A1 03\nRequestLength = 3\n");
    sim::Reset();
    CIPMICommandManagement catalogue;
    const std::string text =
        ExpectFailure([&] { COstrelUtils::CheckOrinRunningStatus(&catalogue); }, 76);
    EXPECT_NE(text.find("]\n\t at CheckOrinRunningStatus(OstrelLib/src/COstrelUtils.cpp:"),
              std::string::npos)
        << text;
}

// The cached queries keep their answers for the life of the process, so each
// case runs in a child process of its own.
enum class Query { kType, kAccess, kCapability, kGUID, kGeneration };

int Ask(Query query, CIPMICommandManagement* catalogue) {
    switch (query) {
        case Query::kType:
            return COstrelUtils::GetOstrelType(catalogue);
        case Query::kAccess:
            return COstrelUtils::CheckOstrelAccessEnabled(catalogue);
        case Query::kCapability:
            return COstrelUtils::GetOstrelCapability(catalogue);
        case Query::kGUID:
            return COstrelUtils::CheckGloballyUniqueIDEnabled(catalogue);
        case Query::kGeneration:
            return COstrelUtils::GetSystemGeneration(catalogue);
    }
    return -1;
}

struct CachedCase {
    const char* scenario;
    Query query;
    std::vector<int> answers;  // one call per answer
    std::size_t requests;      // how many of the calls reached the controller
};

// "answers A,B requests N" as the child saw it.
std::string RunCachedCase(const CachedCase& row) {
    const Lines report = RunInFreshProcess([&row] {
        CatalogueWorkDir work;
        sim::Reset(row.scenario);
        CIPMICommandManagement catalogue;
        std::string answers;
        for (std::size_t i = 0; i < row.answers.size(); ++i)
            answers += (i == 0 ? "" : ",") + std::to_string(Ask(row.query, &catalogue));
        return Lines{"answers " + answers + " requests " +
                     std::to_string(sim::IpmiRequests().size())};
    });
    return report.empty() ? "" : report.front();
}

std::string Expected(const CachedCase& row) {
    std::string answers;
    for (std::size_t i = 0; i < row.answers.size(); ++i)
        answers += (i == 0 ? "" : ",") + std::to_string(row.answers[i]);
    return "answers " + answers + " requests " + std::to_string(row.requests);
}

TEST(CachedQueries, KeepUsableAnswersAndAskAgainAfterRefusals) {
    const CachedCase rows[] = {
        {"controller.ostrel_type = 7 2", Query::kType, {3, 2, 2}, 2},
        {"controller.ostrel_type = 1", Query::kType, {1, 1}, 1},
        {"controller.ostrel_type = 0", Query::kType, {0, 0}, 1},
        {"controller.cc.OstrelType = 0xC9", Query::kType, {3, 3}, 2},
        // Answers that end before the byte read are refusals, not a 0 read.
        {"controller.response.OstrelType = 31 A1 00", Query::kType, {3, 3}, 2},
        {"controller.response.OstrelAccessEnabled = 31 A1 00", Query::kAccess, {0, 0}, 2},
        {"controller.response.OstrelCapability = 31 A1 00 05 00 00",
         Query::kCapability,
         {99, 99},
         2},
        {"controller.response.GUIDEnableCheck = 31 A1 00 06 00", Query::kGUID, {0, 0}, 2},
        {"controller.response.SystemGeneration = 31 A1 00 04 00 00 00 00",
         Query::kGeneration,
         {4, 4},
         2},
        {"controller.access = 1", Query::kAccess, {0, 0}, 2},
        {"controller.access = 0", Query::kAccess, {1, 1}, 1},
        {"controller.cc.OstrelAccessEnabled = 0xC9", Query::kAccess, {0, 0}, 2},
        {"controller.capability = 0x01", Query::kCapability, {0, 0}, 1},
        {"controller.capability = 0x02", Query::kCapability, {1, 1}, 1},
        {"controller.capability = 0x03", Query::kCapability, {1}, 1},
        {"controller.capability = 0xFD", Query::kCapability, {0}, 1},
        {"controller.cc.OstrelCapability = 0xC9", Query::kCapability, {99, 99}, 2},
        {"controller.guid = 1", Query::kGUID, {0, 0}, 2},
        {"controller.guid = 0", Query::kGUID, {1, 1}, 1},
        {"controller.cc.GUIDEnableCheck = 0xC9", Query::kGUID, {0, 0}, 2},
        {"controller.generation = 0", Query::kGeneration, {0}, 1},
        {"controller.generation = 14", Query::kGeneration, {0, 0}, 1},
        {"controller.generation = 15", Query::kGeneration, {1}, 1},
        {"controller.generation = 21", Query::kGeneration, {1}, 1},
        {"controller.generation = 22", Query::kGeneration, {2}, 1},
        {"controller.generation = 47", Query::kGeneration, {2}, 1},
        {"controller.generation = 48", Query::kGeneration, {3}, 1},
        {"controller.generation = 50", Query::kGeneration, {3}, 1},
        {"controller.generation = 51", Query::kGeneration, {2}, 1},
        {"controller.generation = 64", Query::kGeneration, {5}, 1},
        {"controller.generation = 66", Query::kGeneration, {5}, 1},
        {"controller.generation = 67", Query::kGeneration, {2}, 1},
        {"controller.generation = 255", Query::kGeneration, {2}, 1},
        {"controller.cc.SystemGeneration = 0xC9", Query::kGeneration, {4, 4}, 2},
    };
    for (const CachedCase& row : rows)
        EXPECT_EQ(RunCachedCase(row), Expected(row)) << row.scenario;
}

TEST(CachedQueries, StorageTypeLogsLeavingOnlyForARealType) {
    const Lines report = RunInFreshProcess([] {
        CatalogueWorkDir work;
        kortest::KorLog log;
        sim::Reset("controller.ostrel_type = 7 2");
        CIPMICommandManagement catalogue;
        for (int call = 0; call < 3; ++call)
            COstrelUtils::GetOstrelType(&catalogue);
        const Lines lines = log.Take();
        return Lines{"entering " + std::to_string(CountLinesWith(
                                       lines, "DEBUG COstrelUtils::GetOstrelType() Entering.")),
                     "leaving " + std::to_string(CountLinesWith(
                                      lines, "DEBUG COstrelUtils::GetOstrelType() leaving."))};
    });
    EXPECT_EQ(report, (Lines{"entering 3", "leaving 1"}));
}

}  // namespace
