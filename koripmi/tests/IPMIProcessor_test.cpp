#include "IPMIProcessor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "IpmiTestSupport.h"
#include "KORIPMIStatus.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::CountOpens;
using ipmitest::CountSleeps;
using ipmitest::kOrinStatus;
using ipmitest::MakeBlock;
using ipmitest::MakeConfiguration;

// A retry interval no other pause of the machine has, so its sleeps can be counted.
constexpr unsigned int kRetryInterval = 7;
constexpr uint64_t kSelectTimeoutMs = 20000;

bool IsFinal(unsigned int code) {
    static const std::set<unsigned int> finalCodes = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05,
                                                      0x06, 0x08, 0x10, 0xC1, 0xC2, 0xC7,
                                                      0xC8, 0xC9, 0xCC, 0xCE};
    return finalCodes.count(code) != 0;
}

struct Exchange {
    int status;
    _KORIPMICommandData block;
};

// One command on a fresh machine through a freshly opened processor.
Exchange RunCommand(const std::string& scenario, unsigned int retryCount,
                    const std::vector<uint8_t>& request = kOrinStatus) {
    sim::Reset(scenario);
    IPMIProcessor processor;
    EXPECT_EQ(processor.Initialize(), 0);
    _KORIPMIConfiguration configuration = MakeConfiguration(retryCount, kRetryInterval);
    Exchange exchange{0, MakeBlock(request, &configuration)};
    CKORIPMICommandData record(&exchange.block);
    exchange.status = processor.ExecuteCommand(record);
    exchange.block.pConfiguration = nullptr;
    return exchange;
}

TEST(IPMIProcessor, RetriesExactlyTheRetryableCompletionCodes) {
    constexpr unsigned int kRetryCount = 3;
    for (unsigned int code = 0; code <= 0xFF; ++code) {
        char scenario[64];
        snprintf(scenario, sizeof(scenario), "controller.cc.OrinStatus = 0x%02x", code);
        SCOPED_TRACE(scenario);
        const Exchange exchange = RunCommand(scenario, kRetryCount);
        const size_t expectedSends = IsFinal(code) ? 1 : kRetryCount;
        EXPECT_EQ(exchange.status, 0);
        EXPECT_EQ(exchange.block.ucResponseBuffer[2], code);
        EXPECT_EQ(sim::IpmiRequests().size(), expectedSends);
        EXPECT_EQ(CountSleeps(kRetryInterval), IsFinal(code) ? 0 : kRetryCount);
    }
}

TEST(IPMIProcessor, AnswerIsCopiedInPlaceWithItsLength) {
    const Exchange exchange = RunCommand("", 5);
    ASSERT_EQ(exchange.status, 0);
    const std::vector<sim::Event> responses = sim::TraceOf("ipmi_response");
    ASSERT_EQ(responses.size(), 1u);
    const std::string& bytes = responses[0].fields.at("bytes");
    // "31 a1 00 ..": three characters per byte.
    EXPECT_EQ(exchange.block.uiResponseLength, (bytes.size() + 1) / 3);
    EXPECT_EQ(exchange.block.ucResponseBuffer[0], 0x31);
    EXPECT_EQ(exchange.block.ucResponseBuffer[1], 0xA1);
    EXPECT_EQ(sim::IpmiRequests(), (std::vector<std::vector<uint8_t>>{kOrinStatus}));
}

TEST(IPMIProcessor, LostWrongAndFailedAnswers) {
    constexpr int kFailed = static_cast<int>(KOR_IPMI_STATUS_TRANSPORT_FAILURE);
    struct Case {
        const char* scenario;
        unsigned int retryCount;
        int status;
        unsigned char completionCode;
        size_t sends;
        size_t retrySleeps;
        size_t selectTimeouts;
    };
    const Case cases[] = {
        {"", 0, kFailed, 0x00, 1, 0, 0},  // sent, but no answer is read
        {"ipmi.fault.OrinStatus = no_answer", 3, kFailed, 0x00, 1, 3, 3},
        {"ipmi.fault.OrinStatus = foreign_id", 3, 0, 0x00, 1, 0, 0},
        {"ipmi.fault.OrinStatus = oversize 300 5", 5, kFailed, 0x10, 1, 0, 0},
        {"ipmi.fault.OrinStatus = send_fails", 5, kFailed, 0x01, 0, 0, 0},
        {"ipmi.fault.OrinStatus = receive_fails", 3, 0, 0x00, 1, 1, 0},
        {"controller.cc.OrinStatus = 0xC0 2", 5, 0, 0x00, 3, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        const Exchange exchange = RunCommand(c.scenario, c.retryCount);
        EXPECT_EQ(exchange.status, c.status);
        EXPECT_EQ(exchange.block.ucResponseBuffer[2], c.completionCode);
        EXPECT_EQ(sim::IpmiRequests().size(), c.sends);
        EXPECT_EQ(CountSleeps(kRetryInterval), c.retrySleeps);
        EXPECT_EQ(CountSleeps(kSelectTimeoutMs), c.selectTimeouts);
        if (c.completionCode == 0x10) {
            EXPECT_EQ(exchange.block.ucResponseBuffer[0], 0x31);
            EXPECT_EQ(exchange.block.uiResponseLength, 0u);
        }
    }
}

TEST(IPMIProcessor, RequestLengthOutsideTheBufferIsNotSent) {
    for (unsigned int length : {0u, 1u, 256u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(length);
        sim::Reset();
        IPMIProcessor processor;
        ASSERT_EQ(processor.Initialize(), 0);
        _KORIPMIConfiguration configuration = MakeConfiguration(5, kRetryInterval);
        _KORIPMICommandData block = MakeBlock(kOrinStatus, &configuration);
        block.uiRequestLength = length;
        CKORIPMICommandData record(&block);
        EXPECT_EQ(processor.ExecuteCommand(record),
                  static_cast<int>(KOR_IPMI_STATUS_TRANSPORT_FAILURE));
        EXPECT_TRUE(sim::IpmiRequests().empty());
    }
}

TEST(IPMIProcessor, MessageIdGrowsByOnePerSend) {
    sim::Reset("controller.cc.OrinStatus = 0xC0 1");
    IPMIProcessor first;
    IPMIProcessor second;
    ASSERT_EQ(first.Initialize(), 0);
    ASSERT_EQ(second.Initialize(), 0);
    _KORIPMIConfiguration configuration = MakeConfiguration(5, kRetryInterval);
    for (IPMIProcessor* processor : {&first, &second, &first}) {
        _KORIPMICommandData block = MakeBlock(kOrinStatus, &configuration);
        CKORIPMICommandData record(&block);
        ASSERT_EQ(processor->ExecuteCommand(record), 0);
    }
    const std::vector<sim::Event> requests = sim::TraceOf("ipmi_request");
    ASSERT_EQ(requests.size(), 4u);
    for (size_t i = 1; i < requests.size(); ++i) {
        EXPECT_EQ(std::stoul(requests[i].fields.at("msgid")),
                  std::stoul(requests[i - 1].fields.at("msgid")) + 1);
    }
}

TEST(IPMIProcessor, LaterNodeIsUsedWhenTheFirstIsMissing) {
    struct Case {
        const char* node;
        size_t failedOpens;
    };
    for (const Case& c : {Case{"/dev/ipmi/0", 1}, Case{"/dev/ipmidev/0", 2}}) {
        SCOPED_TRACE(c.node);
        sim::Reset(std::string("ipmi.nodes = ") + c.node);
        IPMIProcessor processor;
        EXPECT_EQ(processor.Initialize(), 0);
        const std::vector<sim::Event> opens = sim::TraceOf("ipmi_open");
        ASSERT_EQ(opens.size(), c.failedOpens + 1);
        EXPECT_EQ(opens.back().fields.at("path"), c.node);
        EXPECT_EQ(CountOpens(false), c.failedOpens);
        EXPECT_TRUE(sim::SleepsMs().empty());
    }
}

TEST(IPMIProcessor, NoNodeFailsAfterFivePausedPasses) {
    sim::Reset("ipmi.nodes = none");
    IPMIProcessor processor;
    testing::internal::CaptureStderr();
    EXPECT_EQ(processor.Initialize(), static_cast<int>(KOR_IPMI_STATUS_TRANSPORT_FAILURE));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't open IPMI device\n");
    EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(5, 1000));
    const std::vector<sim::Event> opens = sim::TraceOf("ipmi_open");
    ASSERT_EQ(opens.size(), 15u);
    EXPECT_EQ(CountOpens(true), 0u);
    const char* order[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};
    for (size_t i = 0; i < opens.size(); ++i) {
        EXPECT_EQ(opens[i].fields.at("path"), order[i % 3]);
    }
}

}  // namespace
