#include "KORIPMIInterfaceImpl.h"

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "IpmiTestSupport.h"
#include "KORIPMIStatus.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::CountOpens;
using ipmitest::kOrinStatus;
using ipmitest::MakeBlock;
using ipmitest::MakeConfiguration;

class LibraryFront : public testing::Test {
protected:
    void SetUp() override {
        m_workingDirectory.Enter();
        ipmitest::ResetSettingsFile();
    }
    void TearDown() override { ipmitest::ResetSettingsFile(); }

    // Without a settings file in the working directory.
    kortest::TemporaryDirectory m_workingDirectory;
    _KORIPMIConfiguration m_configuration = MakeConfiguration(4, 9);
};

size_t IndexOfFirst(const std::vector<sim::Event>& trace, const std::string& kind,
                    const std::string& text) {
    for (size_t i = 0; i < trace.size(); ++i) {
        if (trace[i].kind == kind && trace[i].json.find(text) != std::string::npos) {
            return i;
        }
    }
    return trace.size();
}

TEST_F(LibraryFront, RequestsGoThroughTheCallingThreadsDevice) {
    sim::Reset();
    auto front = std::make_unique<KORIPMIInterfaceImpl>();
    ASSERT_EQ(front->Initialize(&m_configuration), 0u);
    EXPECT_EQ(CountOpens(), 1u);
    EXPECT_EQ(front->IPMIRequest(nullptr), KOR_IPMI_STATUS_INVALID_PARAMETER);

    _KORIPMICommandData block = MakeBlock(kOrinStatus, &m_configuration);
    EXPECT_EQ(front->IPMIRequest(&block), 0u);
    EXPECT_EQ(block.ucResponseBuffer[0], 0x31);
    EXPECT_EQ(block.ucResponseBuffer[2], 0x00);
    EXPECT_EQ(CountOpens(), 1u);

    EXPECT_TRUE(front->Release());
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), 1u);
    front.reset();
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), 1u);
}

TEST_F(LibraryFront, WithoutSettingsFileTheCallersConfigurationApplies) {
    sim::Reset("controller.cc.OrinStatus = 0xC0");
    KORIPMIInterfaceImpl front;
    ASSERT_EQ(front.Initialize(&m_configuration), 0u);

    _KORIPMIConfiguration own = MakeConfiguration(2, 9);
    _KORIPMICommandData withOwn = MakeBlock(kOrinStatus, &own);
    EXPECT_EQ(front.IPMIRequest(&withOwn), 0u);
    EXPECT_EQ(sim::IpmiRequests().size(), 2u);

    // A block without configuration gets the session's, taken from Initialize.
    _KORIPMICommandData withoutOwn = MakeBlock(kOrinStatus, nullptr);
    EXPECT_EQ(front.IPMIRequest(&withoutOwn), 0u);
    EXPECT_EQ(sim::IpmiRequests().size(), 2u + 4u);
    EXPECT_EQ(withoutOwn.ucResponseBuffer[2], 0xC0);
    front.Release();
}

TEST_F(LibraryFront, NoDeviceNodeFailsInitializeAndLaterRequests) {
    sim::Reset("ipmi.nodes = none");
    KORIPMIInterfaceImpl front;
    testing::internal::CaptureStderr();
    EXPECT_EQ(front.Initialize(&m_configuration), KOR_IPMI_STATUS_SESSION_FAILED);
    _KORIPMICommandData block = MakeBlock(kOrinStatus, &m_configuration);
    // The session tries to open the device again, and fails again.
    EXPECT_EQ(front.IPMIRequest(&block), KOR_IPMI_STATUS_TRANSPORT_FAILURE);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(10, 1000));
    EXPECT_TRUE(sim::IpmiRequests().empty());
    EXPECT_TRUE(front.Release());
}

TEST_F(LibraryFront, ModulesThatCannotLoadFailInitialize) {
    sim::Reset(
        "module ipmi_msghandler = unloadable\n"
        "module ipmi_devintf = unloadable\n"
        "module ipmi_si = unloadable\n");
    KORIPMIInterfaceImpl front;
    EXPECT_EQ(front.Initialize(&m_configuration), KOR_IPMI_STATUS_DRIVER_UNAVAILABLE);
    EXPECT_TRUE(sim::TraceOf("ipmi_open").empty());
}

// The unload at the end of Initialize meets the open device, which holds the
// modules in the kernel; Release unloads them once the device is closed.
TEST_F(LibraryFront, ModulesItLoadedAreUnloadedOnceTheDeviceIsClosed) {
    sim::Reset(
        "module ipmi_msghandler = loadable\n"
        "module ipmi_devintf = loadable\n"
        "module ipmi_si = loadable\n");
    KORIPMIInterfaceImpl front;
    ASSERT_EQ(front.Initialize(&m_configuration), 0u);
    const size_t open = IndexOfFirst(sim::Trace(), "ipmi_open", "\"ok\":1");
    front.Release();
    const std::vector<sim::Event> trace = sim::Trace();
    std::vector<std::string> unloads;
    const size_t close = IndexOfFirst(trace, "ipmi_close", "");
    for (size_t i = 0; i < trace.size(); ++i) {
        const sim::Event& event = trace[i];
        if (event.kind == "shell" && event.fields.at("command").rfind("rmmod ", 0) == 0) {
            unloads.push_back(std::string(i < close ? "open " : "closed ") +
                              event.fields.at("command") + "=> " + event.fields.at("exit"));
        }
    }
    ASSERT_LT(open, close);
    EXPECT_EQ(unloads, (std::vector<std::string>{
                           "open rmmod ipmi_si > /dev/null 2>&1 => 1",
                           "open rmmod ipmi_devintf > /dev/null 2>&1 => 1",
                           "open rmmod ipmi_msghandler > /dev/null 2>&1 => 1",
                           "closed rmmod ipmi_si > /dev/null 2>&1 => 0",
                           "closed rmmod ipmi_devintf > /dev/null 2>&1 => 0",
                           "closed rmmod ipmi_msghandler > /dev/null 2>&1 => 0",
                       }));
    // Three pauses before the unloads at Initialize; none for the second try.
    EXPECT_EQ(sim::SleepsMs(), (std::vector<uint64_t>{3000, 3000, 3000}));
}

TEST_F(LibraryFront, ReleaseOnAThreadWithoutSessionChangesNothing) {
    sim::Reset();
    KORIPMIInterfaceImpl front;
    ASSERT_EQ(front.Initialize(&m_configuration), 0u);
    bool released = false;
    std::thread other([&] { released = front.Release(); });
    other.join();
    EXPECT_TRUE(released);
    EXPECT_TRUE(sim::TraceOf("ipmi_close").empty());
    _KORIPMICommandData block = MakeBlock(kOrinStatus, &m_configuration);
    EXPECT_EQ(front.IPMIRequest(&block), 0u);
    EXPECT_EQ(CountOpens(), 1u);
    front.Release();
}

TEST_F(LibraryFront, DestroyingTheFrontClosesUnreleasedSessions) {
    sim::Reset();
    auto front = std::make_unique<KORIPMIInterfaceImpl>();
    ASSERT_EQ(front->Initialize(&m_configuration), 0u);
    front.reset();
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), 1u);
}

}  // namespace
