// Thousands of mutated boot sectors, FAT entries and directory clusters of
// real volumes, and random boot sectors that pass the type test: the label
// reader answers for each one without reading outside what it was given
// (run it under the sanitizer build to see that).

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>

#include <random>
#include <string>
#include <vector>

#include "FatLabelReader.h"
#include "FatTestVolume.h"

namespace {

using fattest::ReadBytes;
using fattest::WriteBytes;

constexpr int kRounds = 2000;
constexpr uint64_t kHeadBytes = 69632;
constexpr uint64_t kDirectoryBytes = 8192;
// Boot sector fields the geometry comes from: sector and cluster sizes,
// reserved sectors, FATs, root entries, totals, FAT sizes, root cluster.
const std::vector<size_t> kGeometryFields = {0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12,
                                             0x13, 0x14, 0x16, 0x17, 0x20, 0x21, 0x22, 0x23,
                                             0x24, 0x25, 0x26, 0x27, 0x2C, 0x2D, 0x2E, 0x2F};
const std::vector<uint8_t> kTelling = {0x00, 0x01, 0x02, 0x08, 0x0F, 0x10, 0x28, 0x7F, 0x80, 0xFF};

struct Region {
    uint64_t offset;
    std::vector<uint8_t> original;
};

// One volume whose head and root directory are mutated in place, round after
// round, and restored before the next.
class MutatedVolume {
public:
    MutatedVolume(const std::string& path, unsigned kib, const std::vector<std::string>& options)
        : m_path(path) {
        fattest::MakeVolume(path, kib, options);
        const fattest::Layout layout = fattest::ReadLayout(path);
        for (uint64_t offset : {uint64_t{0}, layout.RootStart()})
            m_regions.push_back(
                {offset, ReadBytes(path, offset, offset == 0 ? kHeadBytes : kDirectoryBytes)});
    }

    const std::string& Path() const { return m_path; }

    void Mutate(std::mt19937& random) {
        std::vector<std::vector<uint8_t>> changed;
        for (const Region& region : m_regions)
            changed.push_back(region.original);
        std::vector<uint8_t>& boot = changed[0];
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int edit = 0; edit < edits; ++edit) {
            const uint8_t value = random() % 2 ? kTelling[random() % kTelling.size()]
                                               : static_cast<uint8_t>(random());
            switch (random() % 3) {
                case 0:
                    boot[kGeometryFields[random() % kGeometryFields.size()]] = value;
                    break;
                case 1: {  // FAT entries and anything else in the head
                    boot[random() % boot.size()] = value;
                    break;
                }
                default: {
                    std::vector<uint8_t>& directory = changed[1];
                    directory[random() % directory.size()] = value;
                    break;
                }
            }
        }
        for (size_t i = 0; i < m_regions.size(); ++i)
            WriteBytes(m_path, m_regions[i].offset, changed[i]);
    }

private:
    std::string m_path;
    std::vector<Region> m_regions;
};

// True when a label was found.
bool ExpectALabelOrNone(const std::string& path) {
    const std::string label = getLabel(path);
    EXPECT_TRUE(label.empty() || label.size() == 11) << label;
    return !label.empty();
}

TEST(FatLabelReaderFuzz, MutatedVolumesGiveALabelOrNone) {
    kortest::TemporaryDirectory directory;
    std::mt19937 random(20061);
    std::vector<MutatedVolume> volumes;
    volumes.emplace_back(directory.Join("fat12.img"), 1440,
                         std::vector<std::string>{"-F", "12", "-n", "SECUPD"});
    volumes.emplace_back(directory.Join("fat16.img"), 8192,
                         std::vector<std::string>{"-F", "16", "-s", "1", "-n", "SECUPD"});
    volumes.emplace_back(directory.Join("fat32.img"), 40000,
                         std::vector<std::string>{"-F", "32", "-s", "1", "-n", "SECUPD"});
    for (MutatedVolume& volume : volumes) {
        int labelled = 0;
        for (int round = 0; round < kRounds; ++round) {
            volume.Mutate(random);
            labelled += ExpectALabelOrNone(volume.Path()) ? 1 : 0;
        }
        // Most mutations leave the label readable: the volumes stay volumes.
        EXPECT_GT(labelled, kRounds / 4) << volume.Path();
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
    const std::string path = directory.Join("random.img");
    for (int round = 0; round < kRounds; ++round) {
        // Random bytes, sometimes cut short, with a type text and an allowed
        // sector size so that the geometry is what gets tested; half of the
        // volumes get small numbers that put the root directory on either
        // side of the head's end.
        std::vector<uint8_t> head(512 + random() % (kHeadBytes + 65536));
        for (uint8_t& byte : head)
            byte = static_cast<uint8_t>(random());
        const auto& type = types[random() % types.size()];
        std::copy(type.second.begin(), type.second.end(), head.begin() + type.first);
        head[0x0B] = 0;
        head[0x0C] = static_cast<uint8_t>(2 << (random() % 4));
        if (random() % 2) {
            const auto set = [&head](size_t at, std::vector<uint8_t> value) {
                std::copy(value.begin(), value.end(), head.begin() + at);
            };
            set(0x0E, fattest::Little(1 + random() % 160, 2));  // reserved sectors
            set(0x10, {static_cast<uint8_t>(random() % 3)});    // FATs
            set(0x11, fattest::Little(random() % 8192, 2));     // root entries
            set(0x16, fattest::Little(random() % 64, 2));       // sectors per FAT
            set(0x13, fattest::Little(random() % 2 ? 0 : random(), 2));
            set(0x2C, fattest::Little(random() % 4 ? 2 + random() % 64 : random(), 4));
        }
        fattest::WriteBytes(directory.Write("random.img", ""), 0, head);
        ExpectALabelOrNone(path);
    }
}

}  // namespace
