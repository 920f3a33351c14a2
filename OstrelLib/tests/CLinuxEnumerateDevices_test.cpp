#include "CLinuxEnumerateDevices.h"

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <simmachine/SimMachine.h>

#include <string>
#include <vector>

#include "FatTestVolume.h"

namespace {

TEST(CLinuxEnumerateDevices, MakeDeviceNameSpellsIndexesAsTheKernelNamesDisks) {
    struct Case {
        const char* prefix;
        int index;
        int numeric;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"/dev/sd", 0, 0, "/dev/sda"},        {"/dev/sd", 25, 0, "/dev/sdz"},
        {"/dev/sd", 26, 0, "/dev/sdaa"},      {"/dev/sd", 701, 0, "/dev/sdzz"},
        {"/dev/sd", 702, 0, "/dev/sdaaa"},    {"/dev/sd", 18277, 0, "/dev/sdzzz"},
        {"/dev/sd", 18278, 0, "/dev/sdxxxx"}, {"/dev/sd", -1, 0, "/dev/sdxxxx"},
        {nullptr, 3, 0, "/dev/sgd"},          {"/dev/sg", 4095, 1, "/dev/sg4095"},
    };
    CLinuxEnumerateDevices devices(false);
    for (const Case& row : cases) {
        char name[64];
        devices.MakeDeviceName(name, row.prefix, row.index, row.numeric);
        EXPECT_EQ(std::string(name), row.expected) << row.index;
    }
}

TEST(CLinuxEnumerateDevices, FindsTheFirstDiskWhoseLabelBeginsWithTheWantedOne) {
    struct Case {
        const char* name;
        std::string scenario;
        bool skipGeneric;
        bool expectedResult;
        std::string expectedDevice;
    };
    // A volume labelled "SECUPD" whose boot sector claims no sectors per
    // cluster: a volume without label.
    kortest::TemporaryDirectory directory;
    const std::string nonsense = directory.Join("nonsense.img");
    fattest::MakeVolume(nonsense, 1440, {"-F", "12", "-n", "SECUPD"});
    fattest::WriteBytes(nonsense, 0x0D, {0});
    const std::string threeDisks =
        "disk sdb = label=SECUPD emulated=yes\n"
        "disk sdaa = label=SECUPD emulated=yes\n"
        "disk sda = label=SECUPD emulated=yes\n";
    const std::string ordinaryAndUsb =
        "disk sda = label=ROOT\n"
        "disk sdb = label=SECUPD\n"
        "disk sdc = label=SECUPD2 emulated=yes\n";
    const std::vector<Case> cases = {
        // Keyed by SCSI-generic node, given out in the scenario's order.
        {"generic node order", threeDisks, false, true, "/dev/sdb"},
        {"disk name order without sg", threeDisks, true, true, "/dev/sda"},
        {"only emulated hosts, prefix match", ordinaryAndUsb, false, true, "/dev/sdc"},
        {"every disk without sg", ordinaryAndUsb, true, true, "/dev/sdb"},
        {"the first partition of a partitioned disk",
         "disk sdc = label=SECUPD emulated=yes layout=partitioned\n", false, true, "/dev/sdc1"},
        {"a volume whose numbers make no sense has no label",
         "disk sdb = label=SECUPD emulated=yes image=" + nonsense +
             "\ndisk sdc = label=SECUPD emulated=yes\n",
         false, true, "/dev/sdc"},
        {"no such label", "disk sdb = label=DATA emulated=yes\n", false, true, ""},
        {"a longer wanted label is no prefix", "disk sdb = label=SECUP emulated=yes\n", false, true,
         ""},
        // An ordinary disk whose address only a byte-order slip would match.
        {"id and LUN in their IDLUN bytes",
         "disk sda = label=SECUPD address=7:0:1:2\n"
         "disk sdb = label=DATA emulated=yes address=7:0:2:1\n",
         false, true, ""},
        {"the bus number stands for the host",
         "disk sda = label=SECUPD address=0:7:0:0\n"
         "disk sdb = label=DATA emulated=yes address=7:0:0:0\n",
         false, true, ""},
        {"no emulated host", "disk sdb = label=SECUPD\n", false, false, ""},
        {"without the sg driver there is nothing to narrow down",
         "disk sdb = label=SECUPD emulated=yes\nmodule sg = loadable\n", false, false, ""},
        {"skip mode needs no sg driver",
         "disk sdb = label=SECUPD emulated=yes\nmodule sg = loadable\n", true, true, "/dev/sdb"},
        {"no disk at all", "", true, false, ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        sim::Reset(row.scenario);
        CLinuxEnumerateDevices devices(row.skipGeneric);
        std::string device;
        EXPECT_EQ(devices.GetDeviceWithLabel("SECUPD", device), row.expectedResult);
        EXPECT_EQ(device, row.expectedDevice);
    }
}

}  // namespace
