#include "ShellWord.h"

#include <gtest/gtest.h>

TEST(ShellWordTest, QuotesOnlyWhatTheShellWouldInterpret) {
    const struct {
        std::string text;
        std::string word;
    } rows[] = {
        {"/opt/host-1.2/bin_x/", "/opt/host-1.2/bin_x/"},
        {"98-secupdusb.rules", "98-secupdusb.rules"},
        {"/opt/My Package/", "'/opt/My Package/'"},
        {"/x;reboot", "'/x;reboot'"},
        {"/x/$(id)`id`", "'/x/$(id)`id`'"},
        {"it's", "'it'\\''s'"},
        {"", "''"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ShellWord(row.text), row.word) << row.text;
    }
}
