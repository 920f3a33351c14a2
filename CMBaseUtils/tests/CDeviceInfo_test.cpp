#include "CDeviceInfo.h"

#include <gtest/gtest.h>

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
    CDeviceInfo left;
    left.setComponentID("25227");
    left.setVersion("3.21");
    CDeviceInfo right(left);

    right.setRebootRequired(true);
    EXPECT_TRUE(left == right);
    EXPECT_TRUE(left.checkForEquality(&right));

    right.setBDFInfo(_BDFInfo{4, 0, 0});
    EXPECT_TRUE(left == right);
    EXPECT_FALSE(left.checkForEquality(&right));

    CDeviceInfo newer(left);
    newer.setVersion("3.22");
    EXPECT_FALSE(left == newer);
    EXPECT_FALSE(left.checkForEquality(&newer));
    EXPECT_FALSE(left.checkForEquality(nullptr));
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
