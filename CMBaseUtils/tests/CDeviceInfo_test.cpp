#include "CDeviceInfo.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

TEST(CDeviceInfo, NewRecordHasNoOutcomeYet) {
    CDeviceInfo record;
    EXPECT_EQ(record.getStatus(), -1);
    EXPECT_EQ(record.getMessageID(), 0);
    EXPECT_EQ(record.getDeviceType(), DEVICE_TYPE_NOT_SET);
    EXPECT_EQ(record.getDependencyType(), DEPENDENCY_HARD);
    EXPECT_TRUE(record.getApplicationInfo()->empty());
}

TEST(CDeviceInfo, FilePathGetsForwardSlashesAndKeepsThem) {
    CDeviceInfo record;
    record.setFilePath("FOLDER01\\fw\\image.exe");
    const std::string first = record.getFilePath();
    EXPECT_EQ(first, "https://downloads.example.com/firmware/FOLDER01/fw/image.exe");
    EXPECT_EQ(record.getFilePath(), first);
}

TEST(CDeviceInfo, NullApplicationInfoIsIgnored) {
    CDeviceInfo record;
    record.setApplicationInfo(nullptr);
    EXPECT_TRUE(record.getApplicationInfo()->empty());
    auto* info = reinterpret_cast<CDeviceApplicationInfo*>(&record);
    record.setApplicationInfo(info);
    ASSERT_EQ(record.getApplicationInfo()->size(), 1u);
    EXPECT_EQ(record.getApplicationInfo()->front(), info);
}

TEST(CDeviceInfo, ComparisonsLookAtTheirOwnFields) {
    auto pci = [](auto change) {
        return [change](CDeviceInfo& record) {
            SPCIInfo identity = record.getPCIInfo();
            change(identity);
            record.setPCIInfo(identity);
        };
    };
    struct Case {
        const char* field;
        std::function<void(CDeviceInfo&)> change;
        bool equalByOperator;
        bool equalByCheck;
    };
    const std::vector<Case> cases = {
        {"component type", [](CDeviceInfo& r) { r.setComponentType("DRVR"); }, false, false},
        {"component ID", [](CDeviceInfo& r) { r.setComponentID("1"); }, false, false},
        {"dependency type", [](CDeviceInfo& r) { r.setDependencyType(DEPENDENCY_SOFT); }, false,
         true},
        {"version", [](CDeviceInfo& r) { r.setVersion("3.22"); }, false, false},
        {"display", [](CDeviceInfo& r) { r.setDisplay("NIC"); }, false, true},
        {"detail", [](CDeviceInfo& r) { r.setDetail("more"); }, false, true},
        {"file path", [](CDeviceInfo& r) { r.setFilePath("a/b"); }, false, true},
        {"PCI component ID", pci([](SPCIInfo& p) { p.strComponentID = "1"; }), false, false},
        {"device ID", pci([](SPCIInfo& p) { p.strDeviceID = "1"; }), false, false},
        {"sub-device ID", pci([](SPCIInfo& p) { p.strSubDeviceID = "1"; }), false, false},
        {"vendor ID", pci([](SPCIInfo& p) { p.strVendorID = "1"; }), false, false},
        {"sub-vendor ID", pci([](SPCIInfo& p) { p.strSubVendorID = "1"; }), false, false},
        {"PCI display", pci([](SPCIInfo& p) { p.strDisplay = "NIC"; }), true, true},
        {"release ID", [](CDeviceInfo& r) { r.setReleaseID("R2"); }, false, false},
        {"enumeration ID", [](CDeviceInfo& r) { r.setEnumId("E"); }, true, false},
        {"FQDD", [](CDeviceInfo& r) { r.setFQDDInfo("NIC.1"); }, true, false},
        {"bus", [](CDeviceInfo& r) { r.setBDFInfo(4, 0, 0); }, true, false},
        {"device", [](CDeviceInfo& r) { r.setBDFInfo(0, 4, 0); }, true, false},
        {"function", [](CDeviceInfo& r) { r.setBDFInfo(0, 0, 4); }, true, false},
        {"reboot flag", [](CDeviceInfo& r) { r.setRebootRequired(true); }, true, true},
    };
    CDeviceInfo base;
    base.setComponentID("25227");
    base.setVersion("3.21");
    for (const Case& c : cases) {
        CDeviceInfo changed(base);
        c.change(changed);
        EXPECT_EQ(base == changed, c.equalByOperator) << c.field;
        EXPECT_EQ(base.checkForEquality(&changed), c.equalByCheck) << c.field;
    }
    EXPECT_FALSE(base.checkForEquality(nullptr));
}

TEST(CDeviceInfo, NumericPciIdentityIsDecimalText) {
    CDeviceInfo record;
    SPCIInfo identity;
    identity.strComponentID = "159";
    identity.strDisplay = "NIC";
    record.setPCIInfo(identity);
    record.setPCIInfo(0x1F, 2, 0x8086, 40);
    SPCIInfo stored = record.getPCIInfo();
    EXPECT_EQ(stored.strDeviceID, "31");
    EXPECT_EQ(stored.strSubDeviceID, "2");
    EXPECT_EQ(stored.strVendorID, "32902");
    EXPECT_EQ(stored.strSubVendorID, "40");
    EXPECT_EQ(stored.strComponentID, "159");
    EXPECT_EQ(stored.strDisplay, "NIC");
}
