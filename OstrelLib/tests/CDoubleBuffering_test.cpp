#include "CDoubleBuffering.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <kortest/TemporaryDirectory.h>

namespace {

// Everything the reader hands out, in chunks of `length`.
std::string ReadAll(const std::string& path, int size, int chunk, int length) {
    std::ifstream in(path, std::ios::binary);
    std::string buffer(static_cast<std::size_t>(size), '\0');
    std::string out(static_cast<std::size_t>(size / 2), '\0');
    CDoubleBuffering reader(in, buffer.data(), size, chunk);
    std::string all;
    for (int count; (count = reader.GetData(out.data(), length)) > 0;)
        all.append(out, 0, static_cast<std::size_t>(count));
    EXPECT_EQ(reader.GetData(out.data(), length), 0);
    return all;
}

TEST(DoubleBuffering, HandsOutEveryByteInOrderThroughBothHalvesAndTheWrap) {
    kortest::TemporaryDirectory directory;
    for (int fileSize = 0; fileSize <= 40; ++fileSize) {
        std::string bytes;
        for (int i = 0; i < fileSize; ++i)
            bytes += static_cast<char>('a' + i % 26);
        const std::string path = directory.Write("file", bytes);
        for (int size : {2, 8, 10})
            for (int length = 1; length <= size / 2; ++length)
                EXPECT_EQ(ReadAll(path, size, length, -1), bytes)
                    << "file " << fileSize << ", buffer " << size << ", chunk " << length;
    }
}

TEST(DoubleBuffering, RefusesIllegalSizesWithItsTexts) {
    kortest::TemporaryDirectory directory;
    const std::string path = directory.Write("file", std::string(2000, 'x'));
    std::ifstream open(path, std::ios::binary);
    std::ifstream closed;
    char buffer[1024];
    char out[1024];
    const struct {
        std::function<void()> call;
        const char* text;
    } cases[] = {
        {[&] { CDoubleBuffering(open, buffer, 1023, 384); },
         "CDoubleBuffering: m_iSize should be Even Number!"},
        {[&] { CDoubleBuffering(closed, buffer, 1024, 384); },
         "CDoubleBuffering: Referenced File not Opened or in Bad State!"},
        {[&] { CDoubleBuffering(open, buffer, 1024, 513); },
         "CDoubleBuffering: Illegal Construction Data!"},
        {[&] { CDoubleBuffering(open, buffer, 1024, 0); },
         "CDoubleBuffering: Illegal Construction Data!"},
        {[&] { CDoubleBuffering(open, buffer, 1024, 384).GetData(out, 600); },
         "CDoubleBuffering::GetData(): Illegal iDataLen!"},
        {[&] { CDoubleBuffering(open, buffer, 1024, 384).GetData(out, 0); },
         "CDoubleBuffering::GetData(): Illegal iDataLen!"},
    };
    for (const auto& misuse : cases) {
        try {
            misuse.call();
            ADD_FAILURE() << "nothing thrown, expected " << misuse.text;
        } catch (const char* text) {
            EXPECT_STREQ(text, misuse.text);
        }
    }
}

}  // namespace
