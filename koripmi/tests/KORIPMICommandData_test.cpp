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
        bool accepted;
    };
    const Case cases[] = {{0, true}, {3, true}, {255, true}, {256, false}, {0xFFFFFFFFu, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<unsigned char> source(256, 0xAB);
        _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, nullptr);
        block.uiResponseLength = 7;
        CKORIPMICommandData record(&block);

        record.SetRequestBufferData(source.data(), c.length);
        record.SetResponseBufferData(source.data(), c.length);

        EXPECT_EQ(record.GetRequestBufferLength(), c.accepted ? c.length : 3u);
        EXPECT_EQ(record.GetResponseBufferLength(), c.accepted ? c.length : 7u);
        const unsigned char expectedFirst = (c.accepted && c.length > 0) ? 0xAB : 0x30;
        EXPECT_EQ(record.GetRequestBufferData()[0], expectedFirst);
    }
}

TEST(CommandRecord, NullSourceStoresTheLengthOnly) {
    _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, nullptr);
    CKORIPMICommandData record(&block);
    record.SetRequestBufferData(nullptr, 10);
    record.SetResponseBufferData(nullptr, 10);
    EXPECT_EQ(block.uiRequestLength, 10u);
    EXPECT_EQ(block.uiResponseLength, 10u);
    EXPECT_EQ(block.ucRequestBuffer[0], 0x30);
}

TEST(CommandRecord, ConstructionClearsTheResponseAndPollingFields) {
    _KORIPMIConfiguration configuration = MakeConfiguration(5, 50);
    configuration.uiPollingByte = KOR_IPMI_NO_POLLING;
    configuration.ucPollingStatus = 9;
    _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, &configuration);
    memset(block.ucResponseBuffer, 0xEE, sizeof(block.ucResponseBuffer));
    block.uiResponseLength = 5;

    CKORIPMICommandData record(&block);

    EXPECT_EQ(std::vector<unsigned char>(block.ucResponseBuffer, block.ucResponseBuffer + 255),
              std::vector<unsigned char>(255, 0));
    EXPECT_EQ(block.uiResponseLength, 5u);
    EXPECT_EQ(configuration.uiPollingByte, 0u);
    EXPECT_EQ(configuration.ucPollingStatus, 0);
    EXPECT_TRUE(record.IsPollingRequired());
    record.SetPollingByteStatus(KOR_IPMI_NO_POLLING, 3);
    EXPECT_FALSE(record.IsPollingRequired());
    EXPECT_EQ(record.GetPollingStatus(), 3);
    EXPECT_EQ(configuration.uiRetryCount, 5u);
}

TEST(CommandRecord, NullConfigurationIsLeftAlone) {
    _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, nullptr);
    block.ucResponseBuffer[2] = 0xC0;
    CKORIPMICommandData record(&block);
    EXPECT_EQ(record.GetConfigurationData(), nullptr);
    EXPECT_EQ(block.ucResponseBuffer[2], 0);
}

TEST(CommandRecord, DestructionLeavesTheBlockIntact) {
    _KORIPMIConfiguration configuration = MakeConfiguration(2, 10);
    _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, nullptr);
    {
        CKORIPMICommandData record(&block);
        record.SetConfigurationData(&configuration);
        record.SetResponseBufferData(std::vector<unsigned char>{0x31, 0xA1, 0x00}.data(), 3);
    }
    EXPECT_EQ(block.pConfiguration, &configuration);
    EXPECT_EQ(block.uiResponseLength, 3u);
    EXPECT_EQ(block.ucResponseBuffer[0], 0x31);
    EXPECT_EQ(block.uiRequestLength, 3u);
}

TEST(CommandRecord, ResponseByteAddressStaysInsideTheBuffer) {
    _KORIPMICommandData block = MakeBlock({0x30, 0xA1, 0x01}, nullptr);
    CKORIPMICommandData record(&block);
    EXPECT_EQ(record.GetResponseBufferData(2), block.ucResponseBuffer + 2);
    EXPECT_EQ(record.GetResponseBufferData(254), block.ucResponseBuffer + 254);
    EXPECT_EQ(record.GetResponseBufferData(255), nullptr);
}

}  // namespace
