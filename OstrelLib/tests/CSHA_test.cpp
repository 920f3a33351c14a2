#include "CSHA.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <kortest/TemporaryDirectory.h>
#include "Sha256BitCount.h"
#include "Sha256Compression.h"
#include "Sha256sumTool.h"

namespace {

using Sha256Compression::Engine;

// Every case runs on each engine this CPU has; the portable one always.
std::vector<Engine> AvailableEngines() {
    std::vector<Engine> engines{Engine::Portable};
    if (Sha256Compression::CpuHasShaExtensions())
        engines.push_back(Engine::ShaExtensions);
    return engines;
}

const char* NameOf(Engine engine) {
    return engine == Engine::Portable ? "portable" : "SHA instructions";
}

class Sha256OnEveryEngine : public ::testing::Test {
protected:
    ~Sha256OnEveryEngine() override { Sha256Compression::SelectEngine(m_initial); }

    template <typename Case>
    void ForEachEngine(const Case& check) {
        for (Engine engine : AvailableEngines()) {
            ASSERT_TRUE(Sha256Compression::SelectEngine(engine));
            SCOPED_TRACE(NameOf(engine));
            check();
        }
    }

    static std::string HexOf(const std::string& text, bool fromFile) {
        char hex[65];
        CSHA().CalculateSHA256(text, fromFile, hex);
        return hex;
    }

    const Engine m_initial = Sha256Compression::ActiveEngine();
};

// The CPU's features as the kernel lists them, apart from the library's own
// cpuid query: a detection that says no on a CPU that has them would pass
// every digest test on the portable code.
TEST_F(Sha256OnEveryEngine, TheShaInstructionsAreUsedWhereTheCpuHasThem) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
    }
    if (line.empty())
        GTEST_SKIP() << "no CPU flags in /proc/cpuinfo";
    std::istringstream words(line);
    int needed = 0;
    for (std::string word; words >> word;)
        needed += word == "sha_ni" || word == "sse4_1" || word == "ssse3";
    const bool listed = needed == 3;
    EXPECT_EQ(Sha256Compression::CpuHasShaExtensions(), listed);
    EXPECT_EQ(m_initial, listed ? Engine::ShaExtensions : Engine::Portable);
    ASSERT_TRUE(Sha256Compression::SelectEngine(m_initial));
    EXPECT_EQ(Sha256Compression::ActiveCompressor(),
              listed ? &Sha256Compression::CompressWithShaExtensions
                     : &Sha256Compression::CompressPortable);
}

// The length goes into the padding as 64 bits: from 512 MiB on, the bit count
// carries into its high word.
TEST(Sha256BitCount, CarriesIntoTheHighWordFrom512MiB) {
    const struct {
        std::uint32_t low;
        std::uint32_t high;
        std::uint32_t bytes;
    } rows[] = {
        {0, 0, 1},
        {0xFFFFFFF8u, 0, 1},  // 512 MiB - 1 byte, then one more
        {0, 0, 0x20000000u},  // 512 MiB at once
        {0, 0, 0x7FFFFFFFu},  // the most one AddData takes
        {0xFFFFFFF0u, 7, 0x3FFFFFFFu},
        {0x12345678u, 0, 0},
    };
    for (const auto& row : rows) {
        const std::uint64_t expected =
            (std::uint64_t{row.high} << 32 | row.low) + std::uint64_t{row.bytes} * 8;
        std::uint32_t low = row.low;
        std::uint32_t high = row.high;
        Sha256BitCount::AddBytes(low, high, row.bytes);
        EXPECT_EQ(std::uint64_t{high} << 32 | low, expected) << row.low << " " << row.bytes;
    }
}

TEST_F(Sha256OnEveryEngine, TextsGiveThePublishedDigests) {
    const struct {
        std::string text;
        const char* digest;
    } vectors[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "mnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    };
    ForEachEngine([&] {
        for (const auto& vector : vectors)
            EXPECT_EQ(HexOf(vector.text, false), vector.digest) << vector.text.size() << " bytes";
    });
}

TEST_F(Sha256OnEveryEngine, DataAddedInPiecesGivesTheWholeDigest) {
    const std::string message(1000000, 'a');
    std::mt19937 random(7);
    ForEachEngine([&] {
        CSHA sha;
        for (std::size_t offset = 0; offset < message.size();) {
            const std::size_t piece =
                std::min<std::size_t>(message.size() - offset, random() % 200);
            sha.AddData(message.data() + offset, static_cast<int>(piece));
            offset += piece;
        }
        unsigned char digest[32];
        sha.FinalDigest(reinterpret_cast<char*>(digest));
        char hex[65];
        sha.Binary2Hex(digest, 32, hex);
        EXPECT_STREQ(hex, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    });
}

TEST_F(Sha256OnEveryEngine, FilesOfEverySizeAroundTheBoundariesMatchSha256sum) {
    kortest::TemporaryDirectory directory;
    std::mt19937 random(11);
    // Block and read boundaries: 64-byte blocks, the 56-byte padding limit,
    // the reads of half a megabyte and the megabyte buffer; a few random sizes.
    std::vector<std::size_t> sizes{1,      3,       55,      56,      63,      64,     511,
                                   512,    513,     1023,    1024,    1025,    524287, 524288,
                                   524289, 1048575, 1048576, 1048577, 2621447, 3145728};
    for (int i = 0; i < 4; ++i)
        sizes.push_back(1 + random() % 3000000);
    std::vector<std::pair<std::string, std::string>> files;
    for (std::size_t size : sizes) {
        std::string bytes(size, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        const std::string path = directory.Write("file-" + std::to_string(size), bytes);
        files.emplace_back(path, Sha256sumOf(path));
    }
    ForEachEngine([&] {
        for (const auto& [path, reference] : files)
            EXPECT_EQ(HexOf(path, true), reference) << path;
    });
}

TEST(Sha256Misuse, ThrowsTheDigestsTexts) {
    kortest::TemporaryDirectory directory;
    const std::string empty = directory.Write("empty", "");
    const std::string missing = directory.Join("missing");
    char hex[65];
    CSHA sha;
    const struct {
        std::function<void()> call;
        std::string text;
    } cases[] = {
        {[&] { sha.CalculateSHA256(empty, true, hex); },
         "FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!"},
        {[&] { sha.CalculateSHA256(missing, true, hex); },
         "FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File " + missing + "!"},
        {[&] { sha.AddData("x", -1); },
         "FileDigest ERROR: in CSHA::AddData(), Data Length should be >= 0!"},
        {[&] { sha.FinalDigest(hex); },
         "FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!"},
    };
    for (const auto& misuse : cases) {
        sha.Reset();
        try {
            misuse.call();
            ADD_FAILURE() << "nothing thrown, expected " << misuse.text;
        } catch (const std::string& text) {
            EXPECT_EQ(text, misuse.text);
        }
    }
    // A read error is not taken for the end of the file.
    try {
        sha.CalculateSHA256(directory.Path(), true, hex);
        ADD_FAILURE() << "a directory was digested";
    } catch (const char* text) {
        EXPECT_STREQ(text, "CDoubleBuffering: Referenced File not Opened or in Bad State!");
    }
}

}  // namespace
