#include "KORIPMICommandData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "IpmiTestSupport.h"

namespace {

using ipmitest::MakeBlock;
using ipmitest::MakeConfiguration;

TEST(CommandRecord, BufferSettersAcceptUpToTheCapacity) {
    struct Case {
        unsigned int length;
        bool withSource;
        bool accepted;
    };
    const Case cases[] = {{0, true, true},
                          {255, true, true},
                          {256, true, false},
                          {0xFFFFFFFFu, true, false},
                          {10, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<unsigned char> source(256, 0xAB);
        const unsigned char* from = c.withSource ? source.data() : nullptr;
        _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, nullptr);
        block.uiResponseLength = 7;
        CKORIPMICommandData record(&block);

        record.SetRequestBufferData(from, c.length);
        record.SetResponseBufferData(from, c.length);

        EXPECT_EQ(record.GetRequestBufferLength(), c.accepted ? c.length : 3u);
        EXPECT_EQ(record.GetResponseBufferLength(), c.accepted ? c.length : 7u);
        const bool copied = c.accepted && c.withSource && c.length > 0;
        EXPECT_EQ(record.GetRequestBufferData()[0], copied ? 0xAB : 0x30);
    }
}

TEST(CommandRecord, ConstructionClearsTheResponseAndPollingFields) {
    _KORIPMIConfiguration configuration = MakeConfiguration(5, 50);
    configuration.uiPollingByte = KOR_IPMI_NO_POLLING;
    configuration.ucPollingStatus = 9;
    _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, &configuration);
    memset(block.ucResponseBuffer, 0xEE, sizeof(block.ucResponseBuffer));
    block.uiResponseLength = 5;
    {
        CKORIPMICommandData record(&block);
        EXPECT_EQ(std::vector<unsigned char>(block.ucResponseBuffer, block.ucResponseBuffer + 255),
                  std::vector<unsigned char>(255, 0));
        EXPECT_EQ(configuration.ucPollingStatus, 0);
        EXPECT_TRUE(record.IsPollingRequired());
        record.SetPollingByteStatus(KOR_IPMI_NO_POLLING, 3);
        EXPECT_FALSE(record.IsPollingRequired());
        EXPECT_EQ(record.GetResponseBufferData(254), block.ucResponseBuffer + 254);
        EXPECT_EQ(record.GetResponseBufferData(255), nullptr);
    }
    // Destroying the record leaves the block as it was.
    EXPECT_EQ(block.uiResponseLength, 5u);
    EXPECT_EQ(block.pConfiguration, &configuration);
    EXPECT_EQ(configuration.uiRetryCount, 5u);

    _KORIPMICommandData bare = MakeBlock({0x30, 0xA1, 0x01}, nullptr);
    bare.ucResponseBuffer[2] = 0xC0;
    CKORIPMICommandData bareRecord(&bare);
    EXPECT_EQ(bareRecord.GetConfigurationData(), nullptr);
    EXPECT_EQ(bare.ucResponseBuffer[2], 0);
}

}  // namespace
