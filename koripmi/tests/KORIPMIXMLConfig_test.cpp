#include "KORIPMIXMLConfig.h"

#include <gtest/gtest.h>
#include <kortest/HostXmlDefaults.h>
#include <kortest/KorLog.h>
#include <kortest/PlantedFiles.h>
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

// The root element with the settings in its nested Default nodes; a
// document type may come before it.
std::string DefaultsElement(const std::string& settings) {
    return "<Config>\n  <Group name=\"Default\">\n    <Device name=\"Default\">" + settings +
           "</Device>\n  </Group>\n</Config>\n";
}

std::string NestedDefaults(const std::string& settings) {
    return "<?xml version=\"1.0\"?>\n" + DefaultsElement(settings);
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

// A document that declares an entity is refused, whatever it does with it,
// and no DTD or external entity is loaded, also with the host's libxml2
// defaults switched to substitute entities, load external DTDs and validate.
TEST_F(SettingsFile, RefusesEntityDeclarationsAndLoadsNothingExternal) {
    const std::string settings =
        "<Config><Group name=\"Default\"><Device><RetryCount>3</RetryCount></Device>"
        "</Group></Config>";
    const std::string plain = DefaultsElement("<RetryCount>3</RetryCount>");
    const std::string expansion = std::string(1000, 'x');
    std::string amplified;
    for (int i = 0; i < 3000; ++i)
        amplified += "&a;";
    WriteTextFile("seven.txt", "7");
    // Would give the Device its name="Default" and the key a value, if loaded.
    WriteTextFile("defaults.dtd",
                  "<!ATTLIST Device name CDATA \"Default\">\n<!ENTITY seven \"7\">\n");
    kortest::Plant(PathOf("pipe.dtd"), kortest::Planted::Fifo);
    struct Case {
        const char* name;
        std::string document;
        bool loads;
        bool found;
        int value;
    };
    const Case cases[] = {
        {"an internal entity referred to 3000 times",
         "<!DOCTYPE Config [<!ENTITY a \"" + expansion + "\">]>" +
             DefaultsElement("<RetryCount a=\"" + amplified + "\">3</RetryCount>"),
         false, false, 0},
        {"an external entity",
         "<!DOCTYPE Config [<!ENTITY e SYSTEM \"seven.txt\">]>" +
             DefaultsElement("<RetryCount>&e;</RetryCount>"),
         false, false, 0},
        {"a parameter entity", "<!DOCTYPE Config [<!ENTITY % p \"\">]>" + plain, false, false, 0},
        {"an unparsed entity",
         R"(<!DOCTYPE Config [<!NOTATION n SYSTEM "n"><!ENTITY u SYSTEM "u" NDATA n>]>)" + plain,
         false, false, 0},
        {"an external DTD is not read", "<!DOCTYPE Config SYSTEM \"defaults.dtd\">" + settings,
         true, false, 0},
        {"an external DTD that is a FIFO", "<!DOCTYPE Config SYSTEM \"pipe.dtd\">" + plain, true,
         true, 3},
        {"a document type without entities", "<!DOCTYPE Config>" + plain, true, true, 3},
        {"character and predefined references", NestedDefaults("<RetryCount>&#51;</RetryCount>"),
         true, true, 3},
    };
    const kortest::HostXmlDefaults careless;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTextFile("settings.xml", c.document);
        const kortest::HangGuard guard;
        KORIPMIXMLConfig config(KORString("settings.xml"));
        EXPECT_EQ(config.Initialize(), c.loads);
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

// Retry and poll settings outside their bounds keep the application default
// (here retry count 4, retry interval 1 ms) and say so.
TEST_F(SettingsFile, SettingsOutsideTheirBoundsKeepTheDefaults) {
    struct Case {
        std::string settings;
        size_t sends;      // of one request the controller answers "busy"
        uint64_t pauseMs;  // after each of them
        std::vector<std::string> warnings;
    };
    const auto warning = [](const char* key, int value, int lowest, int highest, int kept) {
        return "WARN KORIPMIConfig.xml: " + std::string(key) + " of " + std::to_string(value) +
               " is outside " + std::to_string(lowest) + " to " + std::to_string(highest) +
               "; the default " + std::to_string(kept) + " applies.";
    };
    const std::vector<Case> cases = {
        {"<RetryCount>10</RetryCount><RetryInterval>1000</RetryInterval>", 10, 1000, {}},
        {"<RetryCount>1</RetryCount><RetryInterval>0</RetryInterval>", 1, 0, {}},
        {"<RetryCount>0</RetryCount>", 4, 1, {warning("RetryCount", 0, 1, 10, 4)}},
        {"<RetryCount>11</RetryCount>", 4, 1, {warning("RetryCount", 11, 1, 10, 4)}},
        {"<RetryCount>-1</RetryCount>", 4, 1, {warning("RetryCount", -1, 1, 10, 4)}},
        {"<RetryInterval>-1</RetryInterval>", 4, 1, {warning("RetryInterval", -1, 0, 1000, 1)}},
        {"<RetryInterval>1001</RetryInterval>", 4, 1, {warning("RetryInterval", 1001, 0, 1000, 1)}},
        {"<PollingInterval>0</PollingInterval><PollingCount>101</PollingCount>",
         4,
         1,
         {warning("PollingInterval", 0, 1, 600, 60), warning("PollingCount", 101, 1, 100, 5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        ipmitest::ResetSettingsFile();
        WriteTextFile("KORIPMIConfig.xml", NestedDefaults(c.settings));
        sim::Reset("controller.cc.OrinStatus = 0xC0");
        kortest::KorLog log;
        KORIPMIInterfaceImpl front;
        _KORIPMIConfiguration initial = MakeConfiguration(4, 1);
        ASSERT_EQ(front.Initialize(&initial), 0u);
        const size_t pausesBefore = sim::SleepsMs().size();
        EXPECT_EQ(SendsOfOneBusyRequest(front, 2), c.sends);
        const std::vector<uint64_t> pauses = sim::SleepsMs();
        EXPECT_EQ(
            std::vector<uint64_t>(pauses.begin() + static_cast<long>(pausesBefore), pauses.end()),
            std::vector<uint64_t>(c.sends, c.pauseMs));
        front.Release();
        const std::vector<std::string> logged = log.Take();
        std::vector<std::string> warnings;
        for (const std::string& line : logged) {
            if (line.rfind("WARN KORIPMIConfig.xml", 0) == 0)
                warnings.push_back(line);
        }
        EXPECT_EQ(warnings, c.warnings);
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
