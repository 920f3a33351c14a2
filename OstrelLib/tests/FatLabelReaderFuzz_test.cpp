// Thousands of mutated real volumes and random boot sectors: the label reader
// answers each with a label or none, never reading outside what the device
// returned (the sanitizer build shows that).

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>

#include <random>
#include <string>
#include <vector>

#include "FatLabelReader.h"
#include "FatTestVolume.h"

namespace {

using fattest::Little;
using fattest::WriteBytes;

constexpr int kRounds = 2000;
constexpr size_t kHeadBytes = 69632;
// Where the geometry comes from: sector and cluster sizes, reserved
// sectors, FATs, root entries, totals, FAT sizes, root cluster.
const std::vector<size_t> kGeometryBytes = {0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11,
                                            0x12, 0x13, 0x14, 0x16, 0x17, 0x20, 0x23,
                                            0x24, 0x27, 0x2C, 0x2D, 0x2E, 0x2F};
const std::vector<uint8_t> kTellingValues = {0x00, 0x01, 0x02, 0x08, 0x28, 0x80, 0xFF};

// True when a label was found.
bool ExpectALabelOrNone(const std::string& path) {
    const std::string label = getLabel(path);
    EXPECT_TRUE(label.empty() || label.size() == 11) << label;
    return !label.empty();
}

TEST(FatLabelReaderFuzz, MutatedVolumesGiveALabelOrNone) {
    kortest::TemporaryDirectory directory;
    std::mt19937 random(20061);
    const std::vector<std::pair<unsigned, std::vector<std::string>>> volumes = {
        {1440, {"-F", "12", "-n", "SECUPD"}},
        {8192, {"-F", "16", "-s", "1", "-n", "SECUPD"}},
        {40000, {"-F", "32", "-s", "1", "-n", "SECUPD"}}};
    for (const auto& [kib, options] : volumes) {
        const std::string path = directory.Join("volume.img");
        fattest::MakeVolume(path, kib, options);
        // The head (boot sector and FATs) and the first 8 KiB of the root
        // directory, restored before every round.
        const uint64_t root = fattest::ReadLayout(path).RootStart();
        const std::vector<uint8_t> head = fattest::ReadBytes(path, 0, kHeadBytes);
        const std::vector<uint8_t> rootBytes = fattest::ReadBytes(path, root, 8192);
        int labelled = 0;
        for (int round = 0; round < kRounds; ++round) {
            std::vector<uint8_t> mutatedHead = head;
            std::vector<uint8_t> mutatedRoot = rootBytes;
            for (int edit = 1 + static_cast<int>(random() % 8); edit > 0; --edit) {
                const uint8_t value = random() % 2
                                          ? kTellingValues[random() % kTellingValues.size()]
                                          : static_cast<uint8_t>(random());
                const unsigned where = random() % 3;
                if (where == 0)
                    mutatedHead[kGeometryBytes[random() % kGeometryBytes.size()]] = value;
                else if (where == 1)
                    mutatedHead[random() % mutatedHead.size()] = value;
                else
                    mutatedRoot[random() % mutatedRoot.size()] = value;
            }
            WriteBytes(path, 0, mutatedHead);
            WriteBytes(path, root, mutatedRoot);
            labelled += ExpectALabelOrNone(path) ? 1 : 0;
        }
        // Most mutations leave the label readable: the volumes stay volumes.
        EXPECT_GT(labelled, kRounds / 4) << kib;
    }
}

TEST(FatLabelReaderFuzz, RandomBootSectorsOfEveryTypeGiveALabelOrNone) {
    kortest::TemporaryDirectory directory;
    std::mt19937 random(4096);
    const std::vector<std::pair<size_t, std::string>> types = {{0x52, "FAT32   "},
                                                               {0x52, "MSWIN"},
                                                               {0x36, "FAT16   "},
                                                               {0x36, "MSDOS"},
                                                               {0x36, "FAT12   "}};
    for (int round = 0; round < kRounds; ++round) {
        // Random bytes, sometimes cut short, with a type text and an allowed
        // sector size; half of them get small numbers that put the root
        // directory on either side of the head's end.
        std::vector<uint8_t> bytes(512 + random() % (kHeadBytes + 65536));
        for (uint8_t& byte : bytes)
            byte = static_cast<uint8_t>(random());
        const auto set = [&bytes](size_t at, const std::vector<uint8_t>& value) {
            std::copy(value.begin(), value.end(), bytes.begin() + static_cast<long>(at));
        };
        const auto& [typeAt, type] = types[random() % types.size()];
        set(typeAt, std::vector<uint8_t>(type.begin(), type.end()));
        set(0x0B, Little(512u << (random() % 4), 2));
        if (random() % 2) {
            set(0x0E, Little(1 + random() % 160, 2));  // reserved sectors
            set(0x10, {static_cast<uint8_t>(random() % 3)});
            set(0x11, Little(random() % 8192, 2));  // root entries
            set(0x13, Little(random() % 2 ? 0 : random(), 2));
            set(0x16, Little(random() % 64, 2));  // sectors per FAT
            set(0x2C, Little(random() % 4 ? 2 + random() % 64 : random(), 4));
        }
        WriteBytes(directory.Write("random.img", ""), 0, bytes);
        ExpectALabelOrNone(directory.Join("random.img"));
    }
}

}  // namespace
