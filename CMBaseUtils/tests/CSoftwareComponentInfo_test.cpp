#include "CSoftwareComponentInfo.h"

#include <gtest/gtest.h>
#include <kortest/HostXmlDefaults.h>
#include <kortest/KorLog.h>
#include <kortest/PlantedFiles.h>
#include <kortest/TemporaryDirectory.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "KORXmlFile.h"

namespace {

const char* const kPciDevice = R"(<?xml version="1.0" encoding="UTF-8"?>
<SoftwareComponent schemaVersion="1.0" vendorVersion="22.5.7">
  <PackageID>NIC_22.5.7</PackageID>
  <ComponentType value="FRMW">
    <Display lang="en">Firmware</Display>
  </ComponentType>
  <SupportedDevices>
    <Device componentID="107">
      <Display lang="en">Network Adapter</Display>
      <PCIInfo deviceID="1F" subDeviceID="a0" vendorID="8086" subVendorID="1028a"/>
      <Display lang="en">Quad Port Adapter</Display>
      <pciinfo deviceID="20" vendorID="8086"/>
      <Display/>
      <display lang="en">Dual Port Adapter</display>
      <RollbackInformation rollbackIdentifier="5"/>
    </Device>
  </SupportedDevices>
</SoftwareComponent>
)";

// No blanks between the elements; IDs that are not numbers beside 250 and 159.
const char* const kSeveralDevices =
    R"(<SoftwareComponent vendorVersion="1.0"><SupportedDevices>)"
    R"(<Device componentID="250"><Detail>x</Detail><Display>First</Display></Device>)"
    R"(<Device componentID="159"><Display>Second</Display></Device>)"
    R"(<Device componentID="ABC"><Display>Letters</Display></Device>)"
    R"(<Device componentID="12x"/><Device componentID="99999999999999999999"/>)"
    R"(</SupportedDevices></SoftwareComponent>)";

const char* const kDependencies = R"(<SoftwareComponent vendorVersion="2.0">
  <SupportedDevices>
    <Device componentID="300">
      <PCIInfo deviceID="10" subDeviceID="11" vendorID="12" subVendorID="13"/>
      <Display>Storage Controller</Display>
      <Dependency context="FW" componentID="400" componentType="DRVR" version="4.1"
                  path="FOLDER\drv.exe" releaseID="REL4">
        <Display>Driver</Display>
        <Detail>Needs the driver</Detail>
        <Brand><Model systemID="0A1B"/><Model systemID="0A1C"/></Brand>
        <DepBrand><DepModel systemID="0B00"/></DepBrand>
        <OperatingSystem majorVersion="7" minorVersion="9" spMajorVersion="1" spMinorVersion="2"
                         osVendor="Acme" osArch="x64" buildNumber="77"/>
        <DepOperatingSystem majorVersion="8" osVendor="Acme"/>
        <DepPCIInfo deviceID="20" subDeviceID="21" vendorID="22" subVendorID="23"/>
      </Dependency>
    </Device>
    <Device componentID="500">
      <SoftDependency componentID="600" version="6"/>
      <SoftDependency componentID="600" version="6"/>
    </Device>
  </SupportedDevices>
</SoftwareComponent>
)";

// The last SoftwareComponent lacks the attributes its predecessor carries.
const char* const kTwoComponents =
    R"(<Components><SoftwareComponent vendorVersion="1.0"><ComponentType value="FRMW"/>)"
    R"(</SoftwareComponent><SoftwareComponent><ComponentType/></SoftwareComponent></Components>)";

// Display texts written as CDATA sections, markup characters and all.
const char* const kCdataDisplays =
    R"(<SoftwareComponent vendorVersion="1"><ComponentType value="FRMW">)"
    R"(<Display><![CDATA[Fish & <Chips>]]></Display></ComponentType><SupportedDevices>)"
    R"(<Device componentID="7"><Display><![CDATA[NIC & <Co>]]></Display></Device>)"
    R"(</SupportedDevices></SoftwareComponent>)";

// Were the entity resolved, the secret beside the descriptor would show.
const char* const kExternalEntity = R"(<?xml version="1.0"?>
<!DOCTYPE SoftwareComponent [<!ENTITY secret SYSTEM "secret.txt">]>
<SoftwareComponent vendorVersion="1"><PackageID>&secret;</PackageID><SupportedDevices>
<Device componentID="1"><Display>&secret;</Display></Device></SupportedDevices></SoftwareComponent>
)";

std::string EntityExpansion() {
    std::string dtd = R"(<!DOCTYPE SoftwareComponent [<!ENTITY e0 "lol">)";
    for (int level = 1; level <= 9; ++level) {
        dtd += "<!ENTITY e" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) {
            dtd += "&e" + std::to_string(level - 1) + ";";
        }
        dtd += "\">";
    }
    return dtd + R"(]><SoftwareComponent vendorVersion="&e9;"><SupportedDevices>)"
                 R"(<Device componentID="&e9;"><Display>&e9;</Display></Device>)"
                 R"(</SupportedDevices></SoftwareComponent>)";
}

// The flood of a real report: one internal entity of a thousand bytes,
// referred to 3000 times by an attribute, expanded at every read.
std::string AmplifiedAttribute() {
    std::string references;
    for (int i = 0; i < 3000; ++i) {
        references += "&a;";
    }
    return R"(<!DOCTYPE SoftwareComponent [<!ENTITY a ")" + std::string(1000, 'x') +
           R"(">]><SoftwareComponent vendorVersion="1"><SupportedDevices><Device componentID=")" +
           references +
           R"("><Display>Amplified</Display></Device></SupportedDevices>)"
           R"(</SoftwareComponent>)";
}

// Values just beyond and at the longest taken into a record.
std::string LongValues() {
    return R"(<SoftwareComponent vendorVersion="1"><SupportedDevices><Device componentID=")" +
           std::string(KORXml::kMaxValueBytes + 1, '7') + R"("><Display>)" +
           std::string(KORXml::kMaxValueBytes, 'D') +
           R"(</Display></Device></SupportedDevices></SoftwareComponent>)";
}

std::string DeepNesting() {
    std::string text = R"(<SoftwareComponent vendorVersion="1"><SupportedDevices>)"
                       R"(<Device componentID="1"><Display>)";
    for (int i = 0; i < 5000; ++i) {
        text += "<a>";
    }
    return text + "deep";
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += (i == 0 ? "" : separator) + parts[i];
    }
    return text;
}

std::string Render(const SPCIInfo& pci) {
    return Join({pci.strComponentID, pci.strDeviceID, pci.strSubDeviceID, pci.strVendorID,
                 pci.strSubVendorID, pci.strDisplay},
                ":");
}

std::string Render(CDeviceInfo& record) {
    std::vector<std::string> parents, systems;
    for (const SPCIInfo& parent : record.getParentPCIInfo()) {
        parents.push_back(Render(parent));
    }
    for (const SOSInfo& os : record.getDependencyOS()) {
        systems.push_back(
            Join({os.strMajorVersion, os.strMinorVersion, os.strSPMajorVersion,
                  os.strSPMinorVersion, os.strOSVendor, os.strOSArch, os.strBuildNumber},
                 "."));
    }
    return Join({std::to_string(record.getDependencyType()), std::to_string(record.getDeviceType()),
                 record.getParentComponentID(), std::to_string(record.getParentDeviceType()),
                 Join(parents, ","), record.getDependencyContext(), record.getComponentID(),
                 record.getComponentType(), record.getVersion(), record.getFilePath(),
                 record.getReleaseID(), record.getDisplay(), record.getDetail(),
                 Join(record.getDepenendencyPlatforms(), ","), Join(systems, ","),
                 Render(record.getPCIInfo())},
                "|");
}

// Every query of the reader, its answer rendered as text.
using Queries =
    std::vector<std::pair<std::string, std::function<std::string(CSoftwareComponentInfo&)>>>;
const Queries& AllQueries() {
    static const Queries queries = {
        {"display", [](auto& info) { return info.GetComponentDisplayString(); }},
        {"type display", [](auto& info) { return info.GetComponentTypeDisplayString(); }},
        {"pci device",
         [](auto& info) {
             return info.GetValue("//SoftwareComponent/SupportedDevices/Device/PCIInfo",
                                  "deviceID");
         }},
        {"component id", [](auto& info) { return info.GetComponentID(); }},
        {"version", [](auto& info) { return info.GetComponentVersion(); }},
        {"package id", [](auto& info) { return info.GetPackageID(); }},
        {"type", [](auto& info) { return info.GetComponentType(); }},
        {"rollback",
         [](auto& info) { return std::string(info.getPresenceOfRollbackInfo() ? "yes" : ""); }},
        {"min id", [](auto& info) { return info.GetMinComponentID(); }},
        {"names",
         [](auto& info) {
             std::vector<std::string> pairs;
             for (const auto& [id, name] : info.getCompIDMarkNameInfo()) {
                 pairs.push_back(id + "=" + name);
             }
             return Join(pairs, ",");
         }},
        {"non-pci name abc",
         [](auto& info) {
             std::string id = "abc";
             return info.getMarketingNameForNonPCIDevice(id);
         }},
        {"supported",
         [](auto& info) {
             std::vector<std::string> devices;
             for (const SPCIInfo& device : info.GetSupportedDevices()) {
                 devices.push_back(Render(device));
             }
             return Join(devices, ",");
         }},
        {"pci name",
         [](auto& info) {
             SPCIInfo wanted{"", "001f", "00A0", "8086", "1028A", ""};
             return info.getMarketingNameForPCIDevice(wanted);
         }},
        {"dependencies",
         [](auto& info) {
             std::vector<std::string> records;
             for (CDeviceInfo* record : info.getDependencyInfo()) {
                 records.push_back(Render(*record));
                 delete record;
             }
             return Join(records, "\n");
         }},
    };
    return queries;
}

class CSoftwareComponentInfoTest : public ::testing::Test {
protected:
    void SetUp() override { m_directory.Enter(); }
    void WriteDescriptor(const std::string& text) { m_directory.Write("package.xml", text); }
    std::string Answer(const std::string& query) {
        CSoftwareComponentInfo info;
        for (const auto& [name, ask] : AllQueries()) {
            if (name == query) {
                return ask(info);
            }
        }
        ADD_FAILURE() << "no query " << query;
        return {};
    }

    kortest::TemporaryDirectory m_directory;
};

}  // namespace

// First in this file: the simple logger opens its file once per process.
TEST_F(CSoftwareComponentInfoTest, MarkerSwitchesTheLogOn) {
    WriteDescriptor("not xml");
    { CSoftwareComponentInfo withoutMarker; }
    EXPECT_EQ(m_directory.Read("baseutils.log"), "");

    m_directory.Write("vekdebuglog", "");
    { CSoftwareComponentInfo withMarker; }
    EXPECT_NE(m_directory.Read("baseutils.log")
                  .find("CSoftwareComponentInfo::Init() Document " + m_directory.Path() +
                        "/package.xml not parsed successfully "),
              std::string::npos);
}

TEST_F(CSoftwareComponentInfoTest, QueriesAnswerFromTheDescriptor) {
    struct Case {
        std::string descriptor;
        std::string query;
        std::string expected;
    };
    std::ifstream shippedFile(KOR_PACKAGE_DIR "/package.xml");
    const std::string shipped{std::istreambuf_iterator<char>(shippedFile), {}};
    ASSERT_FALSE(shipped.empty());
    const std::vector<Case> cases = {
        {shipped, "display", "Integrated Management Controller"},
        {shipped, "type display", "Firmware"},
        {shipped, "pci device", ""},
        {shipped, "component id", "25227"},
        {shipped, "version", "3.21.26.22"},
        {shipped, "package id", "CTRL_FW_3.21.26.22"},
        {shipped, "type", "FRMW"},
        {shipped, "rollback", ""},
        {shipped, "names", "25227=Integrated Management Controller"},
        {shipped, "supported", ""},
        {shipped, "dependencies", ""},
        {kPciDevice, "display", "Network Adapter"},
        {kPciDevice, "pci device", "1F"},
        {kPciDevice, "rollback", "yes"},
        {kPciDevice, "names", "107=Dual Port Adapter"},
        {kPciDevice, "supported",
         "107:001F:00a0:8086:1028a:Quad Port Adapter,107:0020:0000:8086:0000:Dual Port Adapter"},
        {kPciDevice, "pci name", "Quad Port Adapter"},
        {kSeveralDevices, "display", "Second"},
        {kTwoComponents, "version", ""},
        {kTwoComponents, "type", ""},
        {kCdataDisplays, "display", "NIC & <Co>"},
        {kCdataDisplays, "type display", "Fish & <Chips>"},
        {kCdataDisplays, "names", "7=NIC & <Co>"},
        {kSeveralDevices, "component id", "250"},
        {kSeveralDevices, "min id", "159"},
        {kSeveralDevices, "non-pci name abc", "Letters"},
        {kDependencies, "display", ""},
        {LongValues(), "component id", ""},
        {LongValues(), "display", std::string(KORXml::kMaxValueBytes, 'D')},
        {kDependencies, "dependencies",
         "1|1|300|1|:10:11:12:13:|FW|400|DRVR|4.1|https://downloads.example.com/firmware/"
         "FOLDER/drv.exe|REL4|Driver|Needs the driver|0x0A1B,0x0A1C,0x0B00|7.9.1.2.Acme.x64.77,"
         "8....Acme..|:20:21:22:23:\n"
         "2|2|500|2||OS|600||6|https://downloads.example.com/firmware/||||||:::::\n"
         "2|2|500|2||OS|600||6|https://downloads.example.com/firmware/||||||:::::"},
    };
    for (const Case& c : cases) {
        WriteDescriptor(c.descriptor);
        EXPECT_EQ(Answer(c.query), c.expected) << c.query << " of\n" << c.descriptor;
    }
}

// Also with the host's libxml2 defaults switched to substitute entities and
// load external DTDs.
TEST_F(CSoftwareComponentInfoTest, UnusableDescriptorAnswersNothing) {
    const kortest::HostXmlDefaults careless;
    m_directory.Write("secret.txt", "SECRET");
    const std::vector<std::pair<const char*, std::string>> descriptors = {
        {"empty", ""},
        {"not xml", "PK\x03\x04 this is no descriptor"},
        {"cut short", std::string(kDependencies).substr(0, 400)},
        {"deeply nested", DeepNesting()},
        {"entity expansion", EntityExpansion()},
        {"amplified attribute", AmplifiedAttribute()},
        {"too large", "<SoftwareComponent vendorVersion=\"1\">" +
                          std::string(KORXml::kMaxFileBytes, ' ') + "</SoftwareComponent>"},
    };
    for (const auto& [name, descriptor] : descriptors) {
        WriteDescriptor(descriptor);
        for (const auto& [query, ask] : AllQueries()) {
            CSoftwareComponentInfo info;
            EXPECT_EQ(ask(info), "") << query << " of a descriptor " << name;
        }
    }
    std::remove("package.xml");
    for (const auto& [query, ask] : AllQueries()) {
        CSoftwareComponentInfo info;
        EXPECT_EQ(ask(info), "") << query << " without a descriptor";
    }
    WriteDescriptor(kExternalEntity);
    for (const auto& [query, ask] : AllQueries()) {
        CSoftwareComponentInfo info;
        EXPECT_EQ(ask(info).find("SECRET"), std::string::npos) << query;
    }
    // What is no regular file is never opened for reading, and says what it is.
    const std::string path = m_directory.Join("package.xml");
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        kortest::Plant(path, planted.kind);
        kortest::KorLog log;
        const kortest::HangGuard guard;
        for (const auto& [query, ask] : AllQueries()) {
            CSoftwareComponentInfo info;
            EXPECT_EQ(ask(info), "") << query << " of " << planted.typeName;
        }
        const std::vector<std::string> logged = log.Take();
        EXPECT_NE(std::find(logged.begin(), logged.end(),
                            "ERROR Input file (" + path + ") is " + planted.typeName +
                                ", not a regular file."),
                  logged.end())
            << planted.typeName;
    }
}

TEST_F(CSoftwareComponentInfoTest, QueriesReadTheFileAgainButGetValueDoesNot) {
    WriteDescriptor(kPciDevice);
    CSoftwareComponentInfo info;
    WriteDescriptor(kSeveralDevices);
    EXPECT_EQ(info.GetComponentTypeDisplayString(), "Firmware");
    EXPECT_EQ(info.GetComponentVersion(), "1.0");
    EXPECT_EQ(info.GetComponentTypeDisplayString(), "");
    std::remove("package.xml");
    EXPECT_EQ(info.GetComponentID(), "");

    std::string text = kPciDevice;
    WriteDescriptor(kSeveralDevices);
    CSoftwareComponentInfo fromText(text);
    EXPECT_EQ(fromText.GetComponentVersion(), "22.5.7");
    EXPECT_EQ(fromText.GetComponentID(), "107");
}

TEST_F(CSoftwareComponentInfoTest, InventoryLookupMatchesTheWholeComponentID) {
    const std::string inventory = R"(<TRVInventory><Device componentID="25227"><Name>BMC</Name>)"
                                  R"(</Device><Device componentID="1"/></TRVInventory>)";
    struct Case {
        std::string inventory;
        std::string componentID;
        bool parsed;
        std::string found;
    };
    const std::vector<Case> cases = {
        {inventory, "25227", true, "<Device componentID=\"25227\">\n  <Name>BMC</Name>\n</Device>"},
        {inventory, "2522", true, ""},
        {inventory, R"(x"] | //Device[@componentID="1)", true, ""},
        {"<TRVInventory>", "25227", false, ""},
    };
    std::string descriptor = kPciDevice;
    CSoftwareComponentInfo info(descriptor);
    for (const Case& c : cases) {
        std::stringstream in(c.inventory), out;
        EXPECT_EQ(info.GetInvFromOrinL(c.componentID, in, out), c.parsed) << c.componentID;
        EXPECT_EQ(out.str(), c.found) << c.componentID;
    }
}

TEST_F(CSoftwareComponentInfoTest, MutatedDescriptorsNeverBreakTheQueries) {
    const std::vector<std::string> seeds = {kPciDevice, kSeveralDevices, kDependencies};
    const std::vector<std::string> fragments = {"<",
                                                ">",
                                                "\"",
                                                "</Device>",
                                                "<Device componentID=\"",
                                                "<PCIInfo deviceID=\"",
                                                "<Display>",
                                                "&amp;",
                                                "&#0;",
                                                "&#xFFFF;",
                                                "<![CDATA[",
                                                "<!--",
                                                "xmlns:a=\"b\" a:",
                                                std::string(1, '\0'),
                                                "\xff\xfe"};
    std::mt19937 random(20061);
    auto below = [&random](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    for (int round = 0; round < 2000; ++round) {
        std::string text = seeds[below(seeds.size())];
        for (std::size_t edits = 1 + below(4); edits > 0 && !text.empty(); --edits) {
            const std::size_t at = below(text.size());
            const std::size_t length = 1 + below(std::min<std::size_t>(40, text.size() - at));
            switch (below(4)) {
                case 0:
                    text[at] = static_cast<char>(below(256));
                    break;
                case 1:
                    text.erase(at, length);
                    break;
                case 2:
                    text.insert(at, text.substr(at, length));
                    break;
                default:
                    text.insert(at, fragments[below(fragments.size())]);
                    break;
            }
        }
        WriteDescriptor(text);
        CSoftwareComponentInfo info;
        for (const auto& [query, ask] : AllQueries()) {
            EXPECT_NO_THROW(ask(info)) << query << " of\n" << text;
        }
    }
}
