// A staged update's whole road through the model, driven as the library
// drives it: session, create, attach, mount, files written through the
// mount directory, umount, detach, the manifest digest, the stage command
// and its poll, where the controller's check passes or reports 38.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "child_process.h"
#include "ipmi_test_client.h"
#include "simmachine/SimMachine.h"

namespace {

using simtest::IpmiClient;

const char kBegin[] = "30 a1 10 00 00 3c";
const char kCreate[] = "30 a1 20 34 12 23 00 53 45 43 55 50 44";
const char kAttach[] = "30 a1 21 34 12 01 00 00 00 00 01";
const char kDetach[] = "30 a1 22 34 12 00 00 00 00 00 01";
const char kPollStage[] = "30 a1 31 34 12";
const char kMount[] = "mount -n -t vfat -oshortname=mixed,rw /dev/secostupd-SECUPD /tmp/SECUPD";

void WriteFile(const std::string& machinePath, const std::string& text) {
    FILE* file = std::fopen(machinePath.c_str(), "wb");
    ASSERT_NE(file, nullptr) << machinePath;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

std::string Sha256(const std::string& machinePath) {
    const simtest::ChildResult result =
        simtest::RunChild({"/usr/bin/sha256sum", sim::SandboxPath(machinePath)});
    return result.exitStatus == 0 ? result.output.substr(0, 64) : "";
}

// The manifest as the library writes it, over files below /tmp/SECUPD/payload.
std::string Manifest(const std::vector<std::string>& names) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OSTREL_Update>\n";
    for (size_t i = 0; i < names.size(); ++i) {
        text +=
            "\t<File order=\"" + std::to_string(i + 1) + "\">\n\t\t<Hash>" +
            Sha256("/tmp/SECUPD/payload/" + names[i]) + "</Hash>\n\t\t<Source>payload/" + names[i] +
            "</Source>\n\t\t<Mode>filecopy</Mode>\n\t\t<Algorithm>SHA256</Algorithm>\n\t</File>";
    }
    return text + "</OSTREL_Update>";
}

void SendDigest(IpmiClient& client, const std::string& digest) {
    ASSERT_EQ(client.Exchange("30 a1 34 34 12"), "31 a1 00");
    for (size_t at = 0; at < digest.size(); at += 10) {
        std::vector<uint8_t> request = simtest::Bytes("30 a1 35 34 12 00 00");
        for (size_t i = 0; i < 10; ++i) {
            request.push_back(at + i < digest.size() ? static_cast<uint8_t>(digest[at + i]) : 0);
        }
        ASSERT_EQ(simtest::Hex(client.Exchange(request)), "31 a1 00");
    }
}

// Up to the mounted, empty partition.
void CreateAttachAndMount(IpmiClient& client) {
    ASSERT_EQ(client.Exchange(kBegin), "31 a1 00 34 12");
    ASSERT_EQ(client.Exchange(kCreate), "31 a1 00");
    ASSERT_EQ(client.Exchange(kAttach), "31 a1 00");
    ASSERT_EQ(std::system("mkdir -p /tmp/SECUPD"), 0);
    ASSERT_EQ(std::system("ln -sf /dev/sda /dev/secostupd-SECUPD"), 0);
    ASSERT_EQ(std::system(kMount), 0);
    ASSERT_EQ(std::system("/bin/mkdir -p /tmp/SECUPD/payload"), 0);
}

TEST(PartitionRoundTrip, StageCheckPassesOnlyForWhatTheManifestSays) {
    struct Case {
        std::string what;
        // Runs after the manifest and its digest are made, before umount.
        std::function<void(std::string& digest)> spoil;
        std::string stageAnswer;  // the poll's answer
    };
    const std::vector<Case> cases = {
        {"intact", [](std::string&) {}, "31 a1 00 31 00 03"},
        {"file altered", [](std::string&) { WriteFile("/tmp/SECUPD/payload/firmimg.d9", "evil"); },
         "31 a1 00 31 00 26"},
        {"file removed",
         [](std::string&) { ASSERT_EQ(std::remove("/tmp/SECUPD/payload/firmimg.d9"), 0); },
         "31 a1 00 31 00 26"},
        {"wrong digest", [](std::string& digest) { digest[0] = digest[0] == 'a' ? 'b' : 'a'; },
         "31 a1 00 31 00 26"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        IpmiClient client;
        CreateAttachAndMount(client);
        WriteFile("/tmp/SECUPD/payload/package.xml", "<SoftwareComponent/>\n");
        WriteFile("/tmp/SECUPD/payload/firmimg.d9", std::string(100000, 'F'));
        WriteFile("/tmp/SECUPD/input_secupd.xml", Manifest({"package.xml", "firmimg.d9"}));
        std::string digest = Sha256("/tmp/SECUPD/input_secupd.xml");
        ASSERT_EQ(digest.size(), 64u);
        c.spoil(digest);
        ASSERT_EQ(::umount("/tmp/SECUPD"), 0);
        ASSERT_EQ(client.Exchange(kDetach), "31 a1 00");
        SendDigest(client, digest);
        EXPECT_EQ(client.Exchange("30 a1 30 34 12"), "31 a1 00 30 00 02");
        EXPECT_EQ(client.Exchange(kPollStage), c.stageAnswer);
        const auto staged = sim::StagedFiles();
        EXPECT_NE(std::find(staged.begin(), staged.end(), "payload/package.xml"), staged.end());
        EXPECT_NE(std::find(staged.begin(), staged.end(), "input_secupd.xml"), staged.end());
    }
}

TEST(PartitionRoundTrip, GpgStageNeedsTheDescriptorAndItsSignature) {
    for (const bool signed_ : {true, false}) {
        SCOPED_TRACE(signed_);
        sim::Reset();
        IpmiClient client;
        CreateAttachAndMount(client);
        WriteFile("/tmp/SECUPD/payload/package.xml", "<SoftwareComponent/>\n");
        if (signed_)
            WriteFile("/tmp/SECUPD/payload/package.xml.sign", "signature");
        ASSERT_EQ(::umount("/tmp/SECUPD"), 0);
        ASSERT_EQ(client.Exchange(kDetach), "31 a1 00");
        EXPECT_EQ(client.Exchange("30 a1 33 34 12"), "31 a1 00 33 00 02");
        EXPECT_EQ(client.Exchange(kPollStage), signed_ ? "31 a1 00 31 00 03" : "31 a1 00 31 00 26");
    }
}

TEST(PartitionRoundTrip, MountFailsWithoutAnAttachedVolume) {
    sim::Reset("disk sdb = label=DATA fat=16 size=8M layout=partitioned\n");
    ASSERT_EQ(std::system("mkdir -p /tmp/SECUPD"), 0);
    struct Case {
        std::string target;
        int exitStatus;
    };
    const std::vector<Case> cases = {
        {"/dev/sda", 32},  // nothing attached
        {"/dev/sg0", 32},  // not a disk
        {"/dev/sdb", 32},  // a partition table, no file system
        {"/dev/sdb1", 0},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(std::system(("ln -sf " + c.target + " /dev/secostupd-SECUPD").c_str()), 0);
        const int status = std::system(kMount);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitStatus) << c.target;
    }
    EXPECT_EQ(::umount("/tmp/SECUPD"), 0);
    errno = 0;
    EXPECT_EQ(::umount("/tmp/SECUPD"), -1);
    EXPECT_EQ(errno, EINVAL);
    // A directory that is gone is not found before it is found unmounted.
    ASSERT_EQ(std::system("rm -rf /tmp/SECUPD > /dev/null 2>&1"), 0);
    EXPECT_EQ(::umount("/tmp/SECUPD"), -1);
    EXPECT_EQ(errno, ENOENT);
}

// A vfat volume mounted without permission options takes the mounter's
// umask; the mount point gets its own mode back once unmounted.
TEST(PartitionRoundTrip, TheMountedDirectoryShowsTheMountersUmask) {
    sim::Reset("disk sdb = label=DATA\n");
    ASSERT_EQ(::mkdir("/tmp/SECUPD", 0750), 0);
    ASSERT_EQ(std::system("ln -sf /dev/sdb /dev/secostupd-SECUPD"), 0);
    const mode_t before = ::umask(0);
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        ::umask(mask);
        ASSERT_EQ(std::system(kMount), 0) << mask;
        ::umask(before);
        struct stat status {};
        ASSERT_EQ(::stat("/tmp/SECUPD", &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0777 & ~mask);
        const sim::Event mount = sim::TraceOf("mount").back();
        EXPECT_EQ(mount.fields.at("umask"), mask == 022 ? "0022" : "0077");
        EXPECT_EQ(mount.fields.at("mode"), mask == 022 ? "0755" : "0700");
        ASSERT_EQ(::umount("/tmp/SECUPD"), 0);
        ASSERT_EQ(::stat("/tmp/SECUPD", &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0750u);
    }
}

TEST(PartitionRoundTrip, EsxiAutomountsAndWritesBackOnDetach) {
    sim::Reset("uname.sysname = VMkernel\n");
    IpmiClient client;
    ASSERT_EQ(client.Exchange(kBegin), "31 a1 00 34 12");
    ASSERT_EQ(client.Exchange(kCreate), "31 a1 00");
    const char attached[] = "lsusb | grep -i 0624:0250 > /dev/null";
    const char listed[] = "ls /vmfs/volumes/ | grep SECUPD > /dev/null";
    EXPECT_NE(std::system(attached), 0);
    ASSERT_EQ(client.Exchange(kAttach), "31 a1 00");
    EXPECT_EQ(std::system(attached), 0);
    EXPECT_NE(std::system(listed), 0);
    EXPECT_EQ(std::system("esxcli storage filesystem automount"), 0);
    EXPECT_EQ(std::system(listed), 0);
    ASSERT_EQ(std::system("/bin/mkdir -p /vmfs/volumes/SECUPD/payload"), 0);
    WriteFile("/vmfs/volumes/SECUPD/payload/package.xml", "<SoftwareComponent/>\n");
    WriteFile("/vmfs/volumes/SECUPD/payload/package.xml.sign", "signature");
    ASSERT_EQ(client.Exchange(kDetach), "31 a1 00");
    EXPECT_NE(std::system("ls /vmfs/volumes/ | grep SECUPD > /dev/null 2>&1"), 0);
    EXPECT_EQ(client.Exchange("30 a1 33 34 12"), "31 a1 00 33 00 02");
    EXPECT_EQ(client.Exchange(kPollStage), "31 a1 00 31 00 03");
}

// What a crashed earlier run leaves: a partition still attached with its
// disk present and mounted through the link, and a stale link of another name.
TEST(PartitionRoundTrip, LeftoversOfAnEarlierRunAreInPlace) {
    sim::Reset(
        "controller.partition.0 = SECUPD\ncontroller.partition.3 = OLD\n"
        "controller.attached = 0\n"
        "link /dev/secostupd-SECUPD = /dev/sda\nlink /dev/secostupd-OLD = /dev/sdq\n"
        "mount /tmp/SECUPD = /dev/secostupd-SECUPD\n");
    EXPECT_EQ(sim::ControllerPartitions(), (std::vector<int>{0, 3}));
    WriteFile("/tmp/SECUPD/left.txt", "from the crash");
    ASSERT_EQ(::umount("/tmp/SECUPD"), 0);
    EXPECT_EQ(::umount("/tmp/SECUPD"), -1);
    EXPECT_EQ(std::system("rm -f /dev/secostupd-* > /dev/null 2>&1"), 0);
    EXPECT_EQ(std::system("ln -sf /dev/sda /dev/secostupd-SECUPD"), 0);
    EXPECT_EQ(std::system(kMount), 0);
    FILE* left = std::fopen("/tmp/SECUPD/left.txt", "r");
    EXPECT_NE(left, nullptr);
    if (left != nullptr)
        std::fclose(left);
    IpmiClient client;
    ASSERT_EQ(client.Exchange(kBegin), "31 a1 00 34 12");
    EXPECT_EQ(client.Exchange(kDetach), "31 a1 00");

    const struct {
        std::string scenario;
        std::string error;
    } refused[] = {
        {"controller.attached = 2",
         "scenario <text>:1: controller.attached: partition 2 has no "
         "controller.partition line"},
        {"dir /tmp/SECUPD\nmount /tmp/SECUPD = /dev/sdq",
         "scenario <text>:2: mount /tmp/SECUPD: /dev/sdq is not a visible FAT volume"},
        {"link /dev/x", "scenario <text>:1: expected 'KEY = VALUE', got 'link /dev/x'"},
    };
    for (const auto& c : refused) {
        try {
            sim::Reset(c.scenario);
            ADD_FAILURE() << c.scenario;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), c.error);
        }
    }
}

// A disk pulled from under its mount (the controller detaching on its own,
// say) leaves the mount dead, as the kernel does: listed, empty, under the
// next mount made on it, gone only with its own umount.
TEST(PartitionRoundTrip, DiskPulledFromUnderItsMountLeavesItDead) {
    const auto mounts = [] {
        std::string text;
        std::ifstream in("/proc/mounts");
        for (std::string line; std::getline(in, line);)
            text += line.substr(0, line.find(" vfat")) + ";";
        return text;
    };
    sim::Reset();
    IpmiClient client;
    CreateAttachAndMount(client);
    WriteFile("/tmp/SECUPD/payload/kept.txt", "data");
    ASSERT_EQ(client.Exchange(kDetach), "31 a1 00");
    EXPECT_EQ(mounts(), "/dev/sda /tmp/SECUPD;");
    struct stat info {};
    EXPECT_NE(::stat("/tmp/SECUPD/payload", &info), 0);
    ASSERT_EQ(client.Exchange(kAttach), "31 a1 00");
    // The dead mount holds the name sda: the disk gets sdb, as in the kernel.
    ASSERT_EQ(std::system("ln -sf /dev/sdb /dev/secostupd-SECUPD"), 0);
    ASSERT_EQ(std::system(kMount), 0);
    EXPECT_EQ(mounts(), "/dev/sda /tmp/SECUPD;/dev/sdb /tmp/SECUPD;");
    EXPECT_EQ(::stat("/tmp/SECUPD/payload/kept.txt", &info), 0);
    EXPECT_EQ(::umount("/tmp/SECUPD"), 0);
    EXPECT_EQ(mounts(), "/dev/sda /tmp/SECUPD;");
    EXPECT_EQ(::umount("/tmp/SECUPD"), 0);
    EXPECT_EQ(mounts(), "");
    EXPECT_EQ(::umount("/tmp/SECUPD"), -1);
    // Its name free again, the next disk is sda.
    ASSERT_EQ(client.Exchange(kDetach), "31 a1 00");
    ASSERT_EQ(client.Exchange(kAttach), "31 a1 00");
    ASSERT_EQ(std::system("ln -sf /dev/sda /dev/secostupd-SECUPD"), 0);
    EXPECT_EQ(std::system(kMount), 0);
    const std::vector<sim::Event> dead = sim::TraceOf("mount");
    ASSERT_FALSE(dead.empty());
    EXPECT_EQ(dead[1].fields.at("state"), "dead");
}

// Writes below a full mount stop with ENOSPC after what still fitted,
// whichever way the bytes go.
TEST(PartitionRoundTrip, FullPartitionFailsWritesWithNoSpace) {
    const std::string payload(1500, 'P');
    const std::string target = "/tmp/SECUPD/payload/fw.bin";
    const struct {
        std::string how;
        std::function<bool()> write;  // true when every byte was written
    } cases[] = {
        {"write",
         [&] {
             const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
             size_t done = 0;
             ssize_t got = 0;
             while (done < payload.size() &&
                    (got = ::write(fd, payload.data() + done, payload.size() - done)) > 0) {
                 done += static_cast<size_t>(got);
             }
             const bool full = got < 0 && errno == ENOSPC;
             ::close(fd);
             return !full && done == payload.size();
         }},
        {"fwrite",
         [&] {
             FILE* file = std::fopen(target.c_str(), "wb");
             const size_t items = std::fwrite(payload.data(), 1, payload.size(), file);
             const bool failed = std::ferror(file) != 0;
             std::fclose(file);
             return items == payload.size() && !failed;
         }},
        {"fprintf",
         [&] {
             FILE* file = std::fopen(target.c_str(), "w");
             const int printed = std::fprintf(file, "%s", payload.c_str());
             const bool failed = std::ferror(file) != 0;
             std::fclose(file);
             return printed == static_cast<int>(payload.size()) && !failed;
         }},
        {"ofstream",
         [&] {
             std::ofstream out(target, std::ios::binary);
             out.write(payload.data(), static_cast<std::streamsize>(payload.size()));
             out.close();
             return out.good();
         }},
        {"sendfile",
         [&] {
             WriteFile("/etc/fw.bin", payload);
             const int in = ::open("/etc/fw.bin", O_RDONLY);
             const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
             size_t done = 0;
             ssize_t got = 0;
             while (done < payload.size() &&
                    (got = ::sendfile(out, in, nullptr, payload.size() - done)) > 0) {
                 done += static_cast<size_t>(got);
             }
             ::close(in);
             ::close(out);
             return done == payload.size();
         }},
        {"cp",
         [&] {
             WriteFile("/etc/fw.bin", payload);
             return std::system((R"(/bin/cp "/etc/fw.bin"  ")" + target + R"(" > /dev/null 2>&1 )")
                                    .c_str()) == 0;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        sim::Reset("mount.space = 1000\n");
        IpmiClient client;
        CreateAttachAndMount(client);
        EXPECT_FALSE(c.write());
        struct stat info {};
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_size, 1000);
        bool recorded = false;
        for (const sim::Event& event : sim::TraceOf("file"))
            recorded = recorded || event.json.find(R"("error":"ENOSPC")") != std::string::npos;
        EXPECT_TRUE(recorded);
    }
}

// With mount.drop_unflushed a detach without umount keeps only what a sync
// or fsync flushed; umount always flushes.
TEST(PartitionRoundTrip, UnflushedWritesAreLostOnDetach) {
    const struct {
        std::string how;
        std::function<void()> flush;
        bool kept;
    } cases[] = {
        {"nothing", [] {}, false},
        {"sync command", [] { ASSERT_EQ(std::system("sync"), 0); }, true},
        {"sync()", [] { ::sync(); }, true},
        {"fsync",
         [] {
             const int fd = ::open("/tmp/SECUPD/kept.txt", O_WRONLY | O_APPEND);
             ASSERT_GE(fd, 0);
             EXPECT_EQ(::fsync(fd), 0);
             ::close(fd);
         },
         true},
        {"umount", [] { ASSERT_EQ(::umount("/tmp/SECUPD"), 0); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        sim::Reset("mount.drop_unflushed = yes\n");
        IpmiClient client;
        CreateAttachAndMount(client);
        WriteFile("/tmp/SECUPD/kept.txt", "data");
        c.flush();
        ASSERT_EQ(client.Exchange(kDetach), "31 a1 00");
        // The mount the detach left dead, gone before the disk is back as sda.
        ::umount("/tmp/SECUPD");
        ASSERT_EQ(client.Exchange(kAttach), "31 a1 00");
        ASSERT_EQ(std::system(kMount), 0);
        struct stat info {};
        EXPECT_EQ(::stat("/tmp/SECUPD/kept.txt", &info) == 0, c.kept);
    }
}

}  // namespace
