// Answers at the edge of the response buffer: 253 data bytes after the
// network function and the command fill it exactly, one more does not fit.

#include <gtest/gtest.h>

#include <string>

#include "IPMIProcessor.h"
#include "IpmiTestSupport.h"
#include "KORIPMIStatus.h"
#include "simmachine/SimMachine.h"

namespace {

TEST(ResponseCapacity, AnswersFillingTheBufferFitOneByteMoreFails) {
    struct Row {
        unsigned int dataBytes;
        int status;
        unsigned int responseLength;
        unsigned char completionCode;
    };
    const Row rows[] = {
        {253, 0, KOR_IPMI_MAX_BUFFER_LENGTH, 0x00},
        // Reported as cut, not retried.
        {254, static_cast<int>(KOR_IPMI_STATUS_TRANSPORT_FAILURE), 0, 0x10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.dataBytes);
        sim::Reset("ipmi.fault.OrinStatus = oversize " + std::to_string(row.dataBytes) + " 9");
        IPMIProcessor processor;
        ASSERT_EQ(processor.Initialize(), 0);
        _KORIPMIConfiguration configuration = ipmitest::MakeConfiguration(5, 7);
        _KORIPMICommandData block = ipmitest::MakeBlock(ipmitest::kOrinStatus, &configuration);
        CKORIPMICommandData record(&block);
        EXPECT_EQ(processor.ExecuteCommand(record), row.status);
        EXPECT_EQ(block.uiResponseLength, row.responseLength);
        EXPECT_EQ(block.ucResponseBuffer[0], 0x31);
        EXPECT_EQ(block.ucResponseBuffer[2], row.completionCode);
        EXPECT_EQ(sim::IpmiRequests().size(), 1u);
        block.pConfiguration = nullptr;
    }
}

}  // namespace
