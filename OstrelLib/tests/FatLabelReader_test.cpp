#include "FatLabelReader.h"

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>

#include <functional>
#include <string>
#include <vector>

#include "FatTestVolume.h"

namespace {

using fattest::Entry;
using fattest::Layout;
using fattest::Little;
using fattest::WriteBytes;

using Patch = std::function<void(const std::string& path, const Layout& layout)>;

const std::vector<std::string> kFat12 = {"-F", "12", "-n", "SECUPD"};
const std::vector<std::string> kFat16 = {"-F", "16", "-s", "1", "-n", "SECUPD"};
const std::vector<std::string> kFat32 = {"-F", "32", "-s", "1", "-n", "SECUPD"};
constexpr unsigned kFat12Kib = 1440;
constexpr unsigned kFat16Kib = 8192;
constexpr unsigned kFat32Kib = 40000;

void WriteEntries(const std::string& path, uint64_t at, const std::vector<uint8_t>& entry,
                  unsigned count) {
    std::vector<uint8_t> entries;
    for (unsigned i = 0; i < count; ++i)
        entries.insert(entries.end(), entry.begin(), entry.end());
    WriteBytes(path, at, entries);
}

struct Case {
    const char* name;
    std::vector<std::string> options;
    unsigned kib;
    Patch patch;
    int expectedResult;
    std::string expectedLabel;
};

TEST(FatLabelReader, ReadsTheLabelOfRealAndPatchedVolumes) {
    const std::vector<uint8_t> filler = Entry("FILLER", 0x20);
    const std::vector<Case> cases = {
        {"FAT12 labelled", kFat12, kFat12Kib, nullptr, 0, "SECUPD     "},
        {"FAT16 labelled", kFat16, kFat16Kib, nullptr, 0, "SECUPD     "},
        {"FAT32 labelled", kFat32, kFat32Kib, nullptr, 0, "SECUPD     "},
        {"FAT16 without label", {"-F", "16", "-s", "1"}, kFat16Kib, nullptr, 0, ""},
        {"8192-byte sectors", {"-F", "12", "-S", "8192", "-n", "SECUPD"}, 8192, nullptr, -1, ""},
        {"the second of two label entries", kFat16, kFat16Kib,
         [](const std::string& path, const Layout& layout) {
             WriteBytes(path, layout.RootDirectory() + 32, Entry("SECOND", 0x08));
         },
         0, "SECOND     "},
        {"a deleted label entry still counts", kFat16, kFat16Kib,
         [](const std::string& path, const Layout& layout) {
             WriteBytes(path, layout.RootDirectory() + 32, Entry("\xE5OLD", 0x08));
         },
         0, "\xE5OLD       "},
        {"label plus archive bit is no label", kFat16, kFat16Kib,
         [](const std::string& path, const Layout& layout) {
             WriteBytes(path, layout.RootDirectory() + 11, {0x28});
         },
         0, ""},
        {"not a FAT boot sector", kFat16, kFat16Kib,
         [](const std::string& path, const Layout&) {
             WriteBytes(path, 0x36, {'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '});
         },
         0, ""},
        {"zero sectors per cluster", kFat16, kFat16Kib,
         [](const std::string& path, const Layout&) { WriteBytes(path, 0x0D, {0}); }, 0, ""},
        {"root entries far beyond the volume", kFat12, kFat12Kib,
         [](const std::string& path, const Layout&) {
             WriteBytes(path, 0x11, {0xFF, 0xFF});
         },
         0, ""},
        {"the last label of a root directory larger than the head",
         {"-F", "16", "-r", "4096"},
         16384,
         [&filler](const std::string& path, const Layout& layout) {
             WriteEntries(path, layout.RootDirectory(), filler, 3001);
             WriteBytes(path, layout.RootDirectory() + uint64_t{10} * 32, Entry("NEAR", 0x08));
             WriteBytes(path, layout.RootDirectory() + uint64_t{3000} * 32, Entry("FAR", 0x08));
         },
         0,
         "FAR        "},
        {"FAT32 label in the third cluster of the root chain", kFat32, kFat32Kib,
         [&filler](const std::string& path, const Layout& layout) {
             const unsigned perCluster =
                 static_cast<unsigned>(layout.bytesPerSector * layout.sectorsPerCluster / 32);
             WriteEntries(path, layout.Cluster(2), filler, perCluster);
             WriteEntries(path, layout.Cluster(3), filler, perCluster);
             WriteBytes(path, layout.Cluster(4), Entry("DEEP", 0x08));
             WriteBytes(path, layout.FatEntry(2), Little(3, 4));
             WriteBytes(path, layout.FatEntry(3), Little(4, 4));
             WriteBytes(path, layout.FatEntry(4), Little(0x0FFFFFFF, 4));
         },
         0, "DEEP       "},
        {"FAT32 root chain looping on itself", kFat32, kFat32Kib,
         [&filler](const std::string& path, const Layout& layout) {
             WriteEntries(path, layout.Cluster(2), filler,
                          static_cast<unsigned>(layout.bytesPerSector / 32));
             WriteBytes(path, layout.FatEntry(2), Little(2, 4));
         },
         0, ""},
        {"FAT32 root cluster beyond the volume", kFat32, kFat32Kib,
         [](const std::string& path, const Layout&) {
             WriteBytes(path, 0x2C, Little(0x0FFFFFF0, 4));
         },
         0, ""},
    };
    kortest::TemporaryDirectory directory;
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string path = directory.Join("volume.img");
        fattest::MakeVolume(path, row.kib, row.options);
        if (row.patch)
            row.patch(path, fattest::ReadLayout(path));

        device* dev = open_dev(path.c_str());
        ASSERT_NE(dev, nullptr);
        unsigned char* entry = nullptr;
        EXPECT_EQ(getLabel(dev, 0, &entry), row.expectedResult);
        EXPECT_EQ(entry == nullptr, row.expectedLabel.empty());
        close_dev(dev);
        EXPECT_EQ(getLabel(path), row.expectedLabel);
    }
    EXPECT_EQ(getLabel(directory.Join("missing.img")), "");
}

}  // namespace
