#include "KORIPMIXMLConfig.h"

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>

#include <climits>
#include <cstdio>
#include <string>

#include "IpmiTestSupport.h"
#include "KORIPMIInterfaceImpl.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::kOrinStatus;
using ipmitest::MakeBlock;
using ipmitest::MakeConfiguration;

std::string NestedDefaults(const std::string& settings) {
    return "<?xml version=\"1.0\"?>\n<Config>\n  <Group name=\"Default\">\n"
           "    <Device name=\"Default\">" +
           settings + "</Device>\n  </Group>\n</Config>\n";
}

class SettingsFile : public testing::Test {
protected:
    void SetUp() override {
        m_workingDirectory.Enter();
        ipmitest::ResetSettingsFile();
    }
    void TearDown() override { ipmitest::ResetSettingsFile(); }

    std::string PathOf(const std::string& name) const { return m_workingDirectory.Join(name); }
    void WriteTextFile(const std::string& name, const std::string& text) const {
        m_workingDirectory.Write(name, text);
    }

    kortest::TemporaryDirectory m_workingDirectory;
};

TEST_F(SettingsFile, ValuesReadAsBase10) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {{"0x10", 0},    {"   7", 7}, {"\n  7\n", 7},          {"-1", -1},
                          {"+12xyz", 12}, {"abc", 0},  {"99999999999", INT_MAX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteTextFile("settings.xml",
                      NestedDefaults(std::string("<RetryCount>") + c.text + "</RetryCount>"));
        KORIPMIXMLConfig config(KORString("settings.xml"));
        int value = 12345;
        ASSERT_TRUE(config.GetConfigInt(KORString("RetryCount"), &value));
        EXPECT_EQ(value, c.expected);
    }
}

TEST_F(SettingsFile, OnlyTheNestedDefaultNodeHoldsSettings) {
    struct Case {
        const char* name;
        std::string document;
        bool found;
        int value;
    };
    const Case cases[] = {
        {"two Default levels", NestedDefaults("<RetryCount>3</RetryCount>"), true, 3},
        {"first occurrence counts",
         NestedDefaults("<RetryCount>3</RetryCount><RetryCount>8</RetryCount>"), true, 3},
        {"other keys ignored", NestedDefaults("<PollingCount>3</PollingCount>"), false, 0},
        {"key names are exact", NestedDefaults("<retrycount>3</retrycount>"), false, 0},
        {"lower-case default device",
         "<Config><Group name=\"Default\"><Device name=\"default\"><RetryCount>3</RetryCount>"
         "</Device></Group></Config>",
         false, 0},
        {"first Default child wins",
         "<Config><Other name=\"X\"/><Group name=\"Default\"><Device name=\"Lab\">"
         "<RetryCount>9</RetryCount></Device><Device name=\"Default\"><RetryCount>4</RetryCount>"
         "</Device><Device name=\"Default\"><RetryCount>5</RetryCount></Device></Group>"
         "<Group name=\"Default\"/></Config>",
         true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTextFile("settings.xml", c.document);
        KORIPMIXMLConfig config(KORString("settings.xml"));
        int value = 0;
        EXPECT_EQ(config.GetConfigInt(KORString("RetryCount"), &value), c.found);
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(SettingsFile, FailedLoadIsRetriedAndSuccessfulLoadKept) {
    KORIPMIXMLConfig config(KORString("settings.xml"));
    int value = 0;
    EXPECT_FALSE(config.GetConfigInt(KORString("RetryCount"), &value));
    WriteTextFile("settings.xml", NestedDefaults("<RetryCount>6</RetryCount>"));
    EXPECT_TRUE(config.GetConfigInt(KORString("RetryCount"), &value));
    EXPECT_EQ(value, 6);
    WriteTextFile("settings.xml", NestedDefaults("<RetryCount>2</RetryCount>"));
    EXPECT_TRUE(config.GetConfigInt(KORString("RetryCount"), &value));
    EXPECT_EQ(value, 6);
    // After Release the file is read again, and nothing freed is touched.
    EXPECT_TRUE(config.Release());
    EXPECT_TRUE(config.GetConfigInt(KORString("RetryCount"), &value));
    EXPECT_EQ(value, 2);
}

// How many times one request is sent when the controller answers "busy" every
// time: that is the retry count the request really used.
size_t SendsOfOneBusyRequest(KORIPMIInterfaceImpl& front, unsigned int ownRetryCount) {
    const size_t before = sim::IpmiRequests().size();
    _KORIPMIConfiguration own = MakeConfiguration(ownRetryCount, 1);
    _KORIPMICommandData block = MakeBlock(kOrinStatus, &own);
    EXPECT_EQ(front.IPMIRequest(&block), 0u);
    EXPECT_EQ(block.ucResponseBuffer[2], 0xC0);
    return sim::IpmiRequests().size() - before;
}

TEST_F(SettingsFile, DecidesTheRetriesOfEveryRequest) {
    struct Case {
        const char* name;
        const char* document;  // null: no file
        size_t expectedSends;
    };
    // The front is initialized with retry count 4; each request asks for 1.
    const Case cases[] = {
        {"no file: the request's own configuration", nullptr, 1},
        {"not well-formed: the request's own configuration", "<Config><Group", 1},
        {"nested Default levels override",
         "<Config><G name=\"Default\"><D name=\"Default\"><RetryCount>3</RetryCount></D></G>"
         "</Config>",
         3},
        {"one level only: application defaults",
         "<Config><G name=\"Default\"><RetryCount>3</RetryCount></G></Config>", 4},
        {"lower-case default: application defaults",
         "<Config><G name=\"default\"><D name=\"Default\"><RetryCount>3</RetryCount></D></G>"
         "</Config>",
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ipmitest::ResetSettingsFile();
        std::remove(PathOf("KORIPMIConfig.xml").c_str());
        if (c.document != nullptr) {
            WriteTextFile("KORIPMIConfig.xml", c.document);
        }
        sim::Reset("controller.cc.OrinStatus = 0xC0");
        KORIPMIInterfaceImpl front;
        _KORIPMIConfiguration initial = MakeConfiguration(4, 1);
        ASSERT_EQ(front.Initialize(&initial), 0u);
        EXPECT_EQ(SendsOfOneBusyRequest(front, 1), c.expectedSends);
        EXPECT_EQ(SendsOfOneBusyRequest(front, 2), c.expectedSends == 1 ? 2 : c.expectedSends);
        front.Release();
    }
}

TEST_F(SettingsFile, FrontCanNameAnotherFile) {
    WriteTextFile("other.xml", NestedDefaults("<RetryCount>2</RetryCount>"));
    sim::Reset("controller.cc.OrinStatus = 0xC0");
    KORIPMIInterfaceImpl front;
    ASSERT_EQ(front.Initialize(KORString("other.xml")), 0u);
    EXPECT_EQ(SendsOfOneBusyRequest(front, 5), 2u);
    front.Release();
}

}  // namespace
