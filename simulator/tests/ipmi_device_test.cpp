// The IPMI device nodes against the Linux driver's ioctl interface: nodes
// present or absent, the answer's header, truncation, address checks, the
// driver's other ioctls and the scenario's transport faults.

#include <gtest/gtest.h>

#include <functional>

#include "ipmi_test_client.h"
#include "simmachine/SimMachine.h"

namespace {

using simtest::Bytes;
using simtest::IpmiClient;

const std::vector<uint8_t> kOrinStatus = Bytes("30 a1 01");

TEST(IpmiDevice, OpensOnlyThePresentNodes) {
    struct Case {
        std::string scenario;
        std::vector<bool> opens;  // /dev/ipmi0, /dev/ipmi/0, /dev/ipmidev/0
    };
    const std::vector<Case> cases = {
        {"", {true, false, false}},
        {"ipmi.nodes = /dev/ipmi/0 /dev/ipmidev/0", {false, true, true}},
        {"ipmi.nodes = none", {false, false, false}},
    };
    const char* nodes[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};
    for (const Case& c : cases) {
        sim::Reset(c.scenario);
        for (size_t i = 0; i < 3; ++i) {
            errno = 0;
            IpmiClient client(nodes[i]);
            EXPECT_EQ(client.fd() >= 0, c.opens[i]) << c.scenario << " " << nodes[i];
            if (!c.opens[i]) {
                EXPECT_EQ(errno, ENOENT) << nodes[i];
            }
        }
        const auto opens = sim::TraceOf("ipmi_open");
        ASSERT_EQ(opens.size(), 3u);
        EXPECT_EQ(opens[1].fields.at("path"), "/dev/ipmi/0");
        EXPECT_EQ(opens[1].fields.at("ok"), c.opens[1] ? "1" : "0");
    }
}

TEST(IpmiDevice, ReceiveFillsTheHeaderAndDropsTheAnswer) {
    sim::Reset("controller.orin_status = 5");
    IpmiClient client;
    ASSERT_GE(client.fd(), 0);
    EXPECT_FALSE(client.WaitReadable(0));
    ASSERT_EQ(client.Send(kOrinStatus, 41), 0);
    EXPECT_TRUE(client.WaitReadable());

    const simtest::Received received = client.Receive();
    ASSERT_EQ(received.result, 0);
    EXPECT_EQ(received.header.recv_type, IPMI_RESPONSE_RECV_TYPE);
    EXPECT_EQ(received.header.addr_len, sizeof(ipmi_system_interface_addr));
    EXPECT_EQ(received.address.addr_type, IPMI_SYSTEM_INTERFACE_ADDR_TYPE);
    EXPECT_EQ(received.address.channel, IPMI_BMC_CHANNEL);
    EXPECT_EQ(received.header.msgid, 41);
    EXPECT_EQ(received.header.msg.netfn, 0x31);
    EXPECT_EQ(received.header.msg.cmd, 0xa1);
    EXPECT_EQ(received.data, Bytes("00 01 05"));

    EXPECT_FALSE(client.WaitReadable(0));
    EXPECT_EQ(client.Receive().error, EAGAIN);

    const auto requests = sim::TraceOf("ipmi_request");
    const auto responses = sim::TraceOf("ipmi_response");
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(requests[0].fields.at("name"), "OrinStatus");
    EXPECT_EQ(requests[0].fields.at("msgid"), "41");
    EXPECT_EQ(requests[0].fields.at("bytes"), "30 a1 01");
    EXPECT_EQ(responses[0].fields.at("bytes"), "31 a1 00 01 05");
}

TEST(IpmiDevice, TooSmallBufferTruncatesOrKeepsTheAnswer) {
    sim::Reset();
    IpmiClient client;
    ASSERT_EQ(client.Send(kOrinStatus, 1), 0);

    // The plain receive leaves an answer that does not fit in the queue.
    simtest::Received kept = client.Receive(2, IPMICTL_RECEIVE_MSG);
    EXPECT_EQ(kept.error, EMSGSIZE);
    EXPECT_TRUE(client.WaitReadable(0));

    // The truncating one hands out what fits, says so and drops the answer.
    simtest::Received cut = client.Receive(2, IPMICTL_RECEIVE_MSG_TRUNC);
    EXPECT_EQ(cut.result, -1);
    EXPECT_EQ(cut.error, EMSGSIZE);
    EXPECT_EQ(cut.header.msg.netfn, 0x31);
    EXPECT_EQ(cut.header.msg.cmd, 0xa1);
    EXPECT_EQ(cut.header.msg.data_len, 2);
    EXPECT_EQ(cut.data, Bytes("00 01"));
    EXPECT_FALSE(client.WaitReadable(0));
}

TEST(IpmiDevice, RefusesWhatTheDriverRefuses) {
    sim::Reset();
    IpmiClient client;
    ipmi_system_interface_addr ipmb = IpmiClient::SystemInterface();
    ipmb.addr_type = IPMI_IPMB_ADDR_TYPE;
    ipmi_system_interface_addr channel0 = IpmiClient::SystemInterface();
    channel0.channel = 0;
    struct Case {
        const char* what;
        std::vector<uint8_t> request;
        ipmi_system_interface_addr address;
        unsigned length;
        int error;
    };
    const std::vector<Case> cases = {
        {"IPMB address", kOrinStatus, ipmb, 8, EINVAL},
        {"channel 0", kOrinStatus, channel0, 8, EINVAL},
        {"short address", kOrinStatus, IpmiClient::SystemInterface(), 4, EINVAL},
        {"send message", Bytes("06 34 00"), IpmiClient::SystemInterface(), 8, EINVAL},
        {"too long", std::vector<uint8_t>(300, 0x30), IpmiClient::SystemInterface(), 8, EMSGSIZE},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(client.Send(c.request, 1, c.address, c.length), -1) << c.what;
        EXPECT_EQ(errno, c.error) << c.what;
    }
    EXPECT_TRUE(sim::TraceOf("ipmi_request").empty());
}

TEST(IpmiDevice, AnswersTheDriversOtherIoctls) {
    sim::Reset();
    IpmiClient client;
    int events = 1;
    EXPECT_EQ(ioctl(client.fd(), IPMICTL_SET_GETS_EVENTS_CMD, &events), 0);
    unsigned address = 0;
    EXPECT_EQ(ioctl(client.fd(), IPMICTL_GET_MY_ADDRESS_CMD, &address), 0);
    EXPECT_EQ(address, 0x20u);
    address = 0x22;
    EXPECT_EQ(ioctl(client.fd(), IPMICTL_SET_MY_ADDRESS_CMD, &address), 0);
    ipmi_channel_lun_address_set set{0, 0};
    EXPECT_EQ(ioctl(client.fd(), IPMICTL_GET_MY_CHANNEL_ADDRESS_CMD, &set), 0);
    EXPECT_EQ(set.value, 0x22);
    unsigned lun = 0;
    EXPECT_EQ(ioctl(client.fd(), IPMICTL_GET_MY_LUN_CMD, &lun), 0);
    EXPECT_EQ(lun, 2u);
    int unknown = 0;
    errno = 0;
    EXPECT_EQ(ioctl(client.fd(), _IOR(IPMI_IOC_MAGIC, 99, int), &unknown), -1);
    EXPECT_EQ(errno, ENOTTY);
}

TEST(IpmiDevice, InjectsTheScenariosFaults) {
    struct Case {
        std::string fault;
        // What the first request meets, then the second one answered normally.
        std::function<void(IpmiClient&)> first;
    };
    const std::vector<Case> cases = {
        {"no_answer",
         [](IpmiClient& client) {
             const uint64_t before = sim::VirtualTimeMs();
             ASSERT_EQ(client.Send(kOrinStatus, 1), 0);
             EXPECT_FALSE(client.WaitReadable(20));
             EXPECT_EQ(sim::VirtualTimeMs() - before, 20000u);
         }},
        {"foreign_id",
         [](IpmiClient& client) {
             ASSERT_EQ(client.Send(kOrinStatus, 1), 0);
             const simtest::Received foreign = client.Receive();
             EXPECT_NE(foreign.header.msgid, 1);
             EXPECT_EQ(foreign.data.at(0), 0xc3);
             const simtest::Received right = client.Receive();
             EXPECT_EQ(right.header.msgid, 1);
             EXPECT_EQ(right.data, Bytes("00 01 00"));
         }},
        {"oversize",
         [](IpmiClient& client) {
             ASSERT_EQ(client.Send(kOrinStatus, 1), 0);
             const simtest::Received cut = client.Receive(253);
             EXPECT_EQ(cut.error, EMSGSIZE);
             EXPECT_EQ(cut.header.msg.data_len, 253);
             EXPECT_EQ(cut.header.msg.netfn, 0x31);
         }},
        {"send_fails",
         [](IpmiClient& client) {
             errno = 0;
             EXPECT_EQ(client.Send(kOrinStatus, 1), -1);
             EXPECT_EQ(errno, EIO);
             EXPECT_TRUE(sim::TraceOf("ipmi_request").empty());
         }},
        {"receive_fails",
         [](IpmiClient& client) {
             ASSERT_EQ(client.Send(kOrinStatus, 1), 0);
             EXPECT_EQ(client.Receive().error, EIO);
             EXPECT_EQ(client.Receive().data, Bytes("00 01 00"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        sim::Reset("ipmi.fault.OrinStatus = " + c.fault);
        IpmiClient client;
        c.first(client);
        EXPECT_EQ(client.Exchange("30 a1 01"), "31 a1 00 01 00");
    }
}

TEST(IpmiDevice, FaultCountsAndRawKeys) {
    sim::Reset("ipmi.fault.OrinStatus = send_fails 2\nipmi.fault.06:01 = send_fails\n");
    IpmiClient client;
    EXPECT_EQ(client.Send(kOrinStatus, 1), -1);
    EXPECT_EQ(client.Send(kOrinStatus, 2), -1);
    EXPECT_EQ(client.Send(Bytes("06 01"), 3), -1);
    EXPECT_EQ(client.Exchange("30 a1 01"), "31 a1 00 01 00");
    EXPECT_EQ(client.Exchange("06 01").substr(0, 8), "07 01 00");
}

TEST(IpmiDevice, TracesTheClose) {
    sim::Reset();
    { IpmiClient client; }
    const auto closes = sim::TraceOf("ipmi_close");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].fields.at("path"), "/dev/ipmi0");
}

}  // namespace
