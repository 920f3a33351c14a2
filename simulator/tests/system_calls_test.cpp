// Root rights, uname, umount and the Norb library follow the scenario and
// never reach the real system.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "simmachine/SimMachine.h"

namespace {

TEST(SystemCalls, SetuidFollowsRoot) {
    sim::Reset();
    EXPECT_EQ(setuid(0), 0);
    sim::Reset("root = no");
    // Also when the test itself runs as root.
    EXPECT_EQ(setuid(0), -1);
    EXPECT_EQ(errno, EPERM);
}

TEST(SystemCalls, UnameFollowsTheScenario) {
    const struct {
        std::string scenario;
        std::string sysname;
        std::string release;
    } cases[] = {
        {"", "Linux", "6.1.0-sim"},
        {"uname.sysname = VMkernel\nuname.release = 7.0.3", "VMkernel", "7.0.3"},
    };
    for (const auto& c : cases) {
        sim::Reset(c.scenario);
        utsname name;
        ASSERT_EQ(uname(&name), 0);
        EXPECT_EQ(name.sysname, c.sysname);
        EXPECT_EQ(name.release, c.release);
        EXPECT_EQ(system("grep -i \"usb[-_]storage.ko\" /lib/modules/$(uname -r)/modules.builtin"
                         "  > /dev/null 2>&1"),
                  1 << 8);  // the listing exists for this release, without usb_storage
    }
}

TEST(SystemCalls, UmountFailsAsToldAndNeverReachesTheSystem) {
    sim::Reset("umount_failures = 2");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(umount("/tmp/SECUPD"), -1);
        EXPECT_EQ(errno, EBUSY);
    }
    EXPECT_EQ(umount2("/mnt", MNT_FORCE), -1);
    EXPECT_EQ(errno, EPERM);
    const std::vector<sim::Event> umounts = sim::TraceOf("umount");
    ASSERT_EQ(umounts.size(), 3u);
    EXPECT_EQ(umounts[0].fields.at("error"), "EBUSY");
    EXPECT_EQ(umounts[2].fields.at("error"), "EPERM");
}

TEST(SystemCalls, NorbLoadsPerScenarioAndInstallScript) {
    const char* const installed = "/opt/tessel/vek64/lib/libnrbipm.so";
    const char* const esxi = "/scratch/opt/tessel/vek/lib/libnrbipm64.so";
    const struct {
        std::string scenario;
        bool byPath;
        bool byName;
        const char* path;
    } cases[] = {
        {"", false, false, installed},
        {"norb = installed", true, false, installed},
        {"norb = installed\nuname.sysname = VMkernel", true, false, esxi},
        {"norb = system", false, true, installed},
    };
    for (const auto& c : cases) {
        sim::Reset(c.scenario);
        void* byPath = dlopen(c.path, RTLD_NOW);
        void* byName = dlopen("libnrbipm.so", RTLD_NOW);
        EXPECT_EQ(byPath != nullptr, c.byPath) << c.scenario;
        EXPECT_EQ(byName != nullptr, c.byName) << c.scenario;
        for (void* handle : {byPath, byName}) {
            EXPECT_EQ(handle == nullptr || dlclose(handle) == 0, true);
        }
    }

    sim::Reset();
    ASSERT_EQ(system("/opt/pkg//vekfernlyinstall.sh install"), 0);
    void* handle = dlopen("/opt/tessel/vek64/lib/libnrbipm64.so", RTLD_NOW);
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(dlclose(handle), 0);
    ASSERT_EQ(system("/opt/pkg//vekfernlyinstall.sh uninstall"), 0);
    EXPECT_EQ(dlopen("/opt/tessel/vek64/lib/libnrbipm64.so", RTLD_NOW), nullptr);

    sim::Reset("command /opt/pkg//vekfernlyinstall.sh install => exit 1");
    EXPECT_EQ(system("/opt/pkg//vekfernlyinstall.sh install"), 1 << 8);
    EXPECT_EQ(dlopen(installed, RTLD_NOW), nullptr);
}

TEST(SystemCalls, OtherLibrariesLoadForReal) {
    sim::Reset();
    void* handle = dlopen("libm.so.6", RTLD_NOW);
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(dlsym(handle, "cos"), nullptr);
    EXPECT_EQ(dlclose(handle), 0);
}

}  // namespace
