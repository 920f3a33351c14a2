// The USB storage check and unload, through the platform facade.
#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <string>
#include <vector>

#include "BaseUtilsLog.h"
#include "CPlatformLayer.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kBuiltin =
    "grep -i \"usb[-_]storage.ko\" /lib/modules/$(uname -r)/modules.builtin  > /dev/null 2>&1";
const std::string kLsmod = "lsmod | grep usb_storage  > /dev/null 2>&1";
const std::string kModprobe = "modprobe usb_storage  > /dev/null 2>&1";
const std::string kRmmod = "rmmod usb_storage  > /dev/null 2>&1";

const std::string kStart = " CLinuxImpl::isUSBblacklisted Start";
const std::string kFirstTime =
    " CLinuxImpl::isUSBblacklisted check is being done for the first time.";
const std::string kEnd = " CLinuxImpl::isUSBblacklisted End";
const std::string kLoaded =
    "CLinuxImpl::isUSBblacklisted loading usb_storage module is successful.";
const std::string kNotLoaded =
    "CLinuxImpl::isUSBblacklisted usb_storage module is not loaded. Attempt to load it was "
    "unsuccessful.";
const std::string kSkipped = " CLinuxImpl::Skipping USB blacklisting check for ESXi and ESX";

const Lines kUnloadNotRequired = {" CLinuxImpl::unloadUSB Start",
                                  " CLinuxImpl::unloadUSB is not required.",
                                  " CLinuxImpl::unloadUSB End"};
const Lines kUnloadedAtOnce = {
    " CLinuxImpl::unloadUSB Start", " CLinuxImpl::unloadUSB usb module need be unloaded",
    "CLinuxImpl::unloadUSB unloading usb module is successful.", " CLinuxImpl::unloadUSB End"};

class UsbStorageTest : public ::testing::Test {
protected:
    // Every case ends with unloadUSB, which forgets the check for the next case.
    void TearDown() override { CPlatformLayer::unloadUSB(); }

    void Start(const std::string& scenario) {
        sim::Reset(scenario);
        m_commandsSeen = 0;
        BaseUtilsLog().Skip();
    }
    // The commands run and the messages logged since the last call.
    std::pair<Lines, Lines> Seen() {
        const Lines all = sim::ShellCommands();
        const Lines commands(all.begin() + static_cast<long>(m_commandsSeen), all.end());
        m_commandsSeen = all.size();
        const Lines messages = BaseUtilsLog().Take();
        BaseUtilsLog().Skip();
        return {commands, messages};
    }

private:
    std::size_t m_commandsSeen = 0;
};

}  // namespace

TEST_F(UsbStorageTest, FirstCheckFindsOrLoadsTheDriverAndUnloadUndoesOnlyItsOwnLoad) {
    const struct {
        const char* what;
        std::string scenario;
        bool unavailable;
        Lines commands;
        Lines messages;
        Lines unloadCommands;
        Lines unloadMessages;
    } rows[] = {
        {"already loaded",
         "module usb_storage = loaded",
         false,
         {kBuiltin, kLsmod},
         {kStart, kFirstTime, "CLinuxImpl::isUSBblacklisted usb_storage module is already present.",
          kEnd},
         {},
         kUnloadNotRequired},
        {"loaded by the library",
         "module usb_storage = loadable",
         false,
         {kBuiltin, kLsmod, kModprobe, kLsmod},
         {kStart, kFirstTime, kLoaded, kEnd},
         {kRmmod},
         kUnloadedAtOnce},
        {"modprobe fails",
         "module usb_storage = unloadable",
         true,
         {kBuiltin, kLsmod, kModprobe},
         {kStart, kFirstTime, kNotLoaded, kEnd},
         {},
         kUnloadNotRequired},
        {"modprobe succeeds but lsmod misses it",
         "module usb_storage = loads-invisibly",
         true,
         {kBuiltin, kLsmod, kModprobe, kLsmod},
         {kStart, kFirstTime, kNotLoaded, kEnd},
         {},
         kUnloadNotRequired},
        {"built into the kernel",
         "module usb_storage = builtin",
         false,
         {kBuiltin},
         {kStart, "CLinuxImpl::isUSBStorageStaticallyLinked usb_storage is built with kernel"},
         {},
         kUnloadNotRequired},
        {"ESXi", "uname.sysname = VMkernel", false, {}, {kStart, kSkipped}, {}, kUnloadNotRequired},
        {"ESX 4.1 service console",
         "file /etc/vmware-release = VMware ESX 4.1 (Kandinsky)",
         false,
         {},
         {kStart, "getLinuxOSVer: ESX 4 Found", kSkipped},
         {},
         kUnloadNotRequired},
        {"other VMware release file",
         "file /etc/vmware-release = VMware vCenter Server Appliance",
         false,
         {kBuiltin, kLsmod, kModprobe, kLsmod},
         {kStart, "getLinuxOSVer: Unrecognized VMWare Found", kFirstTime, kLoaded, kEnd},
         {kRmmod},
         kUnloadedAtOnce},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.scenario);
        EXPECT_EQ(CPlatformLayer::isUSBblacklisted(), row.unavailable);
        EXPECT_EQ(Seen(), std::make_pair(row.commands, row.messages));
        CPlatformLayer::unloadUSB();
        EXPECT_EQ(Seen(), std::make_pair(row.unloadCommands, row.unloadMessages));
        EXPECT_TRUE(sim::SleepsMs().empty());
    }
}

TEST_F(UsbStorageTest, LaterChecksReuseTheFirstUntilUnloadForgetsIt) {
    Start("module usb_storage = unloadable");
    EXPECT_TRUE(CPlatformLayer::isUSBblacklisted());
    Seen();
    EXPECT_TRUE(CPlatformLayer::isUSBblacklisted());
    EXPECT_EQ(Seen(),
              std::make_pair(Lines{kBuiltin},
                             Lines{kStart,
                                   " CLinuxImpl::isUSBblacklisted check has already been performed "
                                   "earlier.",
                                   kEnd}));
    CPlatformLayer::unloadUSB();
    Seen();
    EXPECT_TRUE(CPlatformLayer::isUSBblacklisted());
    EXPECT_EQ(Seen().first, (Lines{kBuiltin, kLsmod, kModprobe}));
}

TEST_F(UsbStorageTest, UnloadRetriesOncePerSecondAtMost59Times) {
    const std::string notYet = "CLinuxImpl::unloadUSB unloading usb module is not successful.";
    const struct {
        int failures;
        std::size_t attempts;
        bool unloaded;
    } rows[] = {{2, 3, true}, {58, 59, true}, {59, 59, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failures);
        Start("rmmod_failures usb_storage = " + std::to_string(row.failures));
        ASSERT_FALSE(CPlatformLayer::isUSBblacklisted());
        Seen();
        CPlatformLayer::unloadUSB();

        const auto [commands, messages] = Seen();
        EXPECT_EQ(commands, Lines(row.attempts, kRmmod));
        const std::size_t pauses = row.unloaded ? row.attempts - 1 : row.attempts;
        EXPECT_EQ(sim::SleepsMs(), std::vector<uint64_t>(pauses, 1000));
        Lines expected = {" CLinuxImpl::unloadUSB Start",
                          " CLinuxImpl::unloadUSB usb module need be unloaded"};
        expected.insert(expected.end(), pauses, notYet);
        if (row.unloaded) {
            expected.push_back("CLinuxImpl::unloadUSB unloading usb module is successful.");
        }
        expected.push_back(" CLinuxImpl::unloadUSB End");
        EXPECT_EQ(messages, expected);

        // The flags are cleared even when the driver stayed: the next check starts afresh.
        EXPECT_FALSE(CPlatformLayer::isUSBblacklisted());
        EXPECT_EQ(Seen().second.at(1), kFirstTime);
        CPlatformLayer::unloadUSB();
    }
}
