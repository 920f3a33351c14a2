#include "KOREnvironmentInfo.h"

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <string>

#include "KORLXOperatingSystemVersion.h"

namespace {

TEST(KOREnvironmentInfo, RecognisesTheVMwareHypervisors) {
    struct Case {
        const char* scenario;
        int name;
        const char* releaseText;
    } cases[] = {
        {"", KOR_OS_NAME_UNKNOWN, ""},
        {"file /etc/vmware-release = VMware ESX 4.1\n", KOR_OS_NAME_VMWARE_ESX, "VMware ESX 4.1"},
        {"file /etc/vmware-release = VMware Workstation\n", KOR_OS_NAME_UNKNOWN,
         "VMware Workstation"},
        {"uname.sysname = VMkernel\n", KOR_OS_NAME_VMWARE_ESXI, ""},
        {"uname.sysname = VMkernel\nfile /etc/vmware-release = VMware ESX 4.1\n",
         KOR_OS_NAME_VMWARE_ESXI, "VMware ESX 4.1"},
    };
    for (const Case& c : cases) {
        sim::Reset(c.scenario);
        KOREnvironmentInfo info;
        EXPECT_EQ(info.GetOSName(), KOR_OS_NAME_UNKNOWN);
        EXPECT_EQ(info.GetOSVersion(), nullptr);
        EXPECT_TRUE(info.Initialize());
        EXPECT_EQ(info.GetOSName(), c.name) << c.scenario;
        EXPECT_EQ(info.GetOSArch(), 0);
        EXPECT_EQ(info.GetOSType(), 0);
        EXPECT_EQ(info.GetOSVendorName(), 0);
        ASSERT_NE(info.GetOSVersion(), nullptr);
        EXPECT_EQ(info.GetOSVersion()->GetReleaseText().GetUTF8String(), c.releaseText);
    }
}

TEST(KOREnvironmentInfo, VersionTexts) {
    sim::Reset();
    KORLXOperatingSystemVersion version;
    EXPECT_TRUE(version.Initialize());
    EXPECT_EQ(version.GetVersion().GetUTF8String(), "0.0.0.0-");
    EXPECT_EQ(version.GetVendorVersion().GetUTF8String(), "6.5");
}

}  // namespace
