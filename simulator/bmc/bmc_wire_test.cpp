// The external BMC framing: what the virtual machine sends decodes to the
// model's request, and answers reach it escaped and with a valid checksum.
#include "bmc_wire.h"

#include <gtest/gtest.h>

namespace simbmc {
namespace {

using Bytes = std::vector<uint8_t>;

uint8_t Sum(const Bytes& bytes) {
    uint8_t sum = 0;
    for (const uint8_t byte : bytes)
        sum = static_cast<uint8_t>(sum + byte);
    return sum;
}

TEST(BmcWire, DecodesRequestsAndDropsWhatIsNotOne) {
    struct Case {
        const char* what;
        Bytes stream;
        std::vector<Bytes> messages;
    };
    // seq 0x11, netfn 0x06 lun 0, Get Device ID: checksum 0 - (0x11 + 0x18 + 0x01).
    const Bytes getDeviceId = {0x11, 0x18, 0x01, 0xd6, kMessageEnd};
    const std::vector<Case> cases = {
        {"plain request", getDeviceId, {{0x06, 0x01}}},
        {"control messages first",
         {0xff, 0x01, kControlEnd, 0x08, 0x3f, kControlEnd, 0x11, 0x18, 0x01, 0xd6, kMessageEnd},
         {{0x06, 0x01}}},
        // Data byte 0xa0 escaped; checksum over the unescaped bytes.
        {"escaped data byte",
         {0x01, 0xc0, 0x21, kEscape, 0xb0, 0x7e, kMessageEnd},
         {{0x30, 0x21, 0xa0}}},
        {"bad checksum", {0x11, 0x18, 0x01, 0xd5, kMessageEnd}, {}},
        {"too short", {0x18, 0xe8, kMessageEnd}, {}},
    };
    for (const Case& c : cases) {
        WireReader reader;
        std::vector<Bytes> messages;
        for (const WireRequest& request : reader.Feed(c.stream.data(), c.stream.size()))
            messages.push_back(request.message);
        EXPECT_EQ(messages, c.messages) << c.what;
    }
}

TEST(BmcWire, RequestSplitAcrossReadsKeepsSequenceAndLun) {
    WireReader reader;
    const Bytes first = {0x42, 0x19};  // netfn 0x06, lun 1
    const Bytes rest = {0x01, static_cast<uint8_t>(-(0x42 + 0x19 + 0x01)), kMessageEnd};
    EXPECT_TRUE(reader.Feed(first.data(), first.size()).empty());
    const std::vector<WireRequest> requests = reader.Feed(rest.data(), rest.size());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].sequence, 0x42);
    EXPECT_EQ(requests[0].lun, 1);
    EXPECT_EQ(requests[0].message, (Bytes{0x06, 0x01}));
}

TEST(BmcWire, AnswerIsEscapedAndSumsToZero) {
    WireRequest request;
    request.sequence = 0xa1;  // must be escaped too
    request.lun = 2;
    const Bytes framed = FrameAnswer(request, {0x07, 0x01, 0x00, 0xaa, 0x20});
    ASSERT_EQ(framed.back(), kMessageEnd);
    Bytes plain;
    for (size_t i = 0; i + 1 < framed.size(); ++i) {
        ASSERT_NE(framed[i], kMessageEnd);
        ASSERT_NE(framed[i], kControlEnd);
        plain.push_back(framed[i] == kEscape ? static_cast<uint8_t>(framed[++i] & ~0x10)
                                             : framed[i]);
    }
    EXPECT_EQ(Bytes(plain.begin(), plain.end() - 1), (Bytes{0xa1, 0x1e, 0x01, 0x00, 0xaa, 0x20}));
    EXPECT_EQ(Sum(plain), 0);
}

}  // namespace
}  // namespace simbmc
