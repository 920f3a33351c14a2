// Fronts of several threads share the session registry and the logger: a
// front that goes while another lives leaves both alone, the last one ends
// them, and an abandoned front never does.

#include <gtest/gtest.h>

#include <kortest/TemporaryDirectory.h>

#include <memory>
#include <thread>

#include "IpmiTestSupport.h"
#include "KORIPMIInterfaceImpl.h"
#include "KORLogger.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::CountOpens;

unsigned int SendOrinStatus(KORIPMIInterfaceImpl& front) {
    _KORIPMIConfiguration configuration = ipmitest::MakeConfiguration(1, 1);
    _KORIPMICommandData block = ipmitest::MakeBlock(ipmitest::kOrinStatus, &configuration);
    return front.IPMIRequest(&block);
}

TEST(FrontLifetime, OnlyTheLastFrontEndsTheRegistryAndTheLogger) {
    kortest::TemporaryDirectory directory;
    directory.Enter();
    directory.Write("vekdebuglog", "");
    ipmitest::ResetSettingsFile();
    sim::Reset();

    auto front = std::make_unique<KORIPMIInterfaceImpl>();
    ASSERT_EQ(front->Initialize(static_cast<const _KORIPMIConfiguration*>(nullptr)), 0u);
    ASSERT_TRUE(KORLogger::IsActive());
    std::thread other([] {
        KORIPMIInterfaceImpl otherFront;
        EXPECT_EQ(otherFront.Initialize(static_cast<const _KORIPMIConfiguration*>(nullptr)), 0u);
        EXPECT_EQ(SendOrinStatus(otherFront), 0u);
        otherFront.Release();
    });
    other.join();
    // The other thread closed only its own handle; this one is still open.
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), 1u);
    EXPECT_TRUE(KORLogger::IsActive());
    EXPECT_EQ(SendOrinStatus(*front), 0u);
    EXPECT_EQ(CountOpens(), 2u);

    front->Release();
    front.reset();
    EXPECT_FALSE(KORLogger::IsActive());

    // Abandoned as the last front: the session goes, logging stays.
    auto abandoned = std::make_unique<KORIPMIInterfaceImpl>();
    ASSERT_EQ(abandoned->Initialize(static_cast<const _KORIPMIConfiguration*>(nullptr)), 0u);
    KORIPMIInterfaceImpl::Abandon(abandoned.release());
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), CountOpens());
    EXPECT_TRUE(KORLogger::IsActive());
    KORLogger::Terminate();
    ipmitest::ResetSettingsFile();
}

}  // namespace
