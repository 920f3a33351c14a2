#include "CPayloadCapabilityFactory.h"

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <memory>
#include <string>
#include <vector>

#include "CGPGPyalodContents.h"
#include "CIPMICommandManagement.h"
#include "CSHAPyalodContents.h"
#include "FreshProcess.h"
#include "PayloadTestSupport.h"

namespace {

using FirmwareFramework::CGPGPyalodContents;
using FirmwareFramework::CPyalodContents;
using FirmwareFramework::CSHAPyalodContents;
using PayloadFramework::CPayloadCapabilityFactory;
using Lines = std::vector<std::string>;

std::string KindOf(const CPyalodContents* payload) {
    if (payload == nullptr)
        return "none";
    if (dynamic_cast<const CSHAPyalodContents*>(payload) != nullptr)
        return "SHA-256";
    return dynamic_cast<const CGPGPyalodContents*>(payload) != nullptr ? "GPG" : "other";
}

TEST(PayloadCapabilityFactory, PicksTheControllersMethodOrNone) {
    const struct {
        const char* scenario;
        Lines outcome;  // payload kind, method afterwards
    } rows[] = {
        {"controller.guid = 1", {"none", "77"}},
        {"controller.capability = 0x01", {"SHA-256", "0"}},
        {"controller.capability = 0x03", {"GPG", "1"}},
        {"controller.cc.OstrelCapability = 0xC1", {"none", "99"}},
    };
    payloadtest::PayloadWorkDir work;
    for (const auto& row : rows) {
        // The controller's answers are kept for the life of the process.
        const Lines outcome = RunInFreshProcess([&] {
            sim::Reset(row.scenario);
            IPMIFramework::CIPMICommandManagement catalogue;
            DIGEST_TYPE method = static_cast<DIGEST_TYPE>(77);
            const std::unique_ptr<CPyalodContents> payload(
                CPayloadCapabilityFactory::GetPaylodCapabilityObject(&catalogue, "payload",
                                                                     method));
            return Lines{KindOf(payload.get()), std::to_string(method)};
        });
        EXPECT_EQ(outcome, row.outcome) << row.scenario;
    }
}

}  // namespace
