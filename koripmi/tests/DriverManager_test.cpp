#include "DriverManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IpmiTestSupport.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::CountSleeps;

std::string Check(const std::string& module) {
    return "lsmod  | grep " + module + " > /dev/null 2>&1 ";
}
std::string Load(const std::string& module) {
    return "modprobe " + module + " > /dev/null 2>&1 ";
}
std::string Unload(const std::string& module) {
    return "rmmod " + module + " > /dev/null 2>&1 ";
}

const std::vector<std::string> kChecks = {Check("ipmi_msghandler"), Check("ipmi_devintf"),
                                          Check("ipmi_si")};

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const char kNoneLoaded[] =
    "module ipmi_msghandler = loadable\n"
    "module ipmi_devintf = loadable\n"
    "module ipmi_si = loadable\n";

struct Case {
    const char* name;
    std::string scenario;
    int expectedStatus;
    std::vector<std::string> expectedCommands;  // checks and loads, then unloads
    size_t unloadPauses;
};

TEST(DriverManager, ChecksLoadsAndUnloadsAsTheMachineRequires) {
    const Case cases[] = {
        {"all loaded", "", 0, kChecks, 0},
        {"none loaded, all load", kNoneLoaded, 0,
         Concat({kChecks,
                 {Load("ipmi_msghandler"), Load("ipmi_devintf"), Load("ipmi_si")},
                 {Unload("ipmi_si"), Unload("ipmi_devintf"), Unload("ipmi_msghandler")}}),
         3},
        {"only ipmi_si missing and unloadable", "module ipmi_si = unloadable\n", 0,
         Concat({kChecks, {Load("ipmi_si")}, {Unload("ipmi_si")}}), 1},
        {"none loaded, no load works",
         "module ipmi_msghandler = unloadable\n"
         "module ipmi_devintf = unloadable\n"
         "module ipmi_si = unloadable\n",
         1,
         Concat({kChecks,
                 {Load("ipmi_msghandler"), Load("ipmi_devintf"), Load("ipmi_si")},
                 {Unload("ipmi_si"), Unload("ipmi_devintf"), Unload("ipmi_msghandler")}}),
         3},
        {"two missing, one load fails",
         "module ipmi_devintf = unloadable\nmodule ipmi_si = loadable\n", 0,
         Concat({kChecks,
                 {Load("ipmi_devintf"), Load("ipmi_si")},
                 {Unload("ipmi_si"), Unload("ipmi_devintf")}}),
         2},
        {"module that stays invisible after loading", "module ipmi_devintf = loads-invisibly\n", 0,
         Concat({kChecks, {Load("ipmi_devintf")}, {Unload("ipmi_devintf")}}), 1},
        {"failing unload is only logged", std::string(kNoneLoaded) + "rmmod_failures ipmi_si = 1\n",
         0,
         Concat({kChecks,
                 {Load("ipmi_msghandler"), Load("ipmi_devintf"), Load("ipmi_si")},
                 {Unload("ipmi_si"), Unload("ipmi_devintf"), Unload("ipmi_msghandler")}}),
         3},
        {"VMware ESX",
         std::string(kNoneLoaded) + "file /etc/vmware-release = VMware ESX 4.1\n",
         0,
         {},
         0},
        {"VMware ESXi", std::string(kNoneLoaded) + "uname.sysname = VMkernel\n", 0, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset(c.scenario);
        {
            DriverManager manager;
            EXPECT_EQ(manager.IsIPMIDriverAvailable(), c.expectedStatus);
            // Asked again, a usable driver is not checked a second time.
            if (c.expectedStatus == 0) {
                EXPECT_EQ(manager.IsIPMIDriverAvailable(), 0);
            }
        }
        EXPECT_EQ(sim::ShellCommands(), c.expectedCommands);
        EXPECT_EQ(CountSleeps(3000), c.unloadPauses);
        EXPECT_EQ(sim::SleepsMs().size(), c.unloadPauses);
        EXPECT_FALSE(sim::HasUnknownCommands());
    }
}

TEST(DriverManager, ReleaseWithoutLoadingDoesNothing) {
    sim::Reset(kNoneLoaded);
    DriverManager manager;
    EXPECT_EQ(manager.ReleaseIPMIDriver(), 0);
    EXPECT_TRUE(sim::ShellCommands().empty());
}

TEST(DriverManager, ReleaseUnloadsOnlyOnce) {
    sim::Reset(kNoneLoaded);
    DriverManager manager;
    ASSERT_EQ(manager.IsIPMIDriverAvailable(), 0);
    EXPECT_EQ(manager.ReleaseIPMIDriver(), 0);
    EXPECT_EQ(manager.ReleaseIPMIDriver(), 0);
    EXPECT_EQ(sim::ShellCommands().size(), 9u);
}

}  // namespace
