#include "KORString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

KORUnitString Units(std::initializer_list<KORChar> units) {
    return KORUnitString(units);
}

struct CodecCase {
    const char* name;
    std::string bytes;
    KORUnitString units;
    std::string encoded;  // what the units encode back to
};

class KORStringCodec : public testing::TestWithParam<CodecCase> {};

TEST_P(KORStringCodec, DecodesAndEncodes) {
    const CodecCase& c = GetParam();
    KORString text(c.bytes.c_str());
    EXPECT_EQ(text.Units(), c.units);
    EXPECT_EQ(KORString(c.bytes).Units(), c.units);
    EXPECT_EQ(text.GetUTF8String(), c.encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, KORStringCodec,
    testing::Values(
        CodecCase{"TwoByte", "\x47\x72\xC3\xBC\xC3\x9F", Units({0x47, 0x72, 0xFC, 0xDF}),
                  "\x47\x72\xC3\xBC\xC3\x9F"},
        CodecCase{"ThreeByte", "\xE2\x82\xAC", Units({0x20AC}), "\xE2\x82\xAC"},
        CodecCase{"FourByte", "\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
        CodecCase{"LastPlane", "\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF"},
        CodecCase{"ContinuationAsLead", "\x80\x41", Units({0x01}), "\x01"},
        CodecCase{"OverlongTwoByte", "\xC1\xBF", Units({0x7F}), "\x7F"},
        CodecCase{"OverlongFourByte", "\xF0\x82\x82\xAC", Units({0x20AC}), "\xE2\x82\xAC"},
        CodecCase{"BeyondUnicode",
                  "\xF5\x80\x80\x80"
                  "a",
                  Units({0xFFFD, 'a'}),
                  "\xEF\xBF\xBD"
                  "a"},
        CodecCase{"CutTwoByte", "a\xC3", Units({'a', 0xFFFD}), "a\xEF\xBF\xBD"},
        CodecCase{"CutThreeByte", "a\xE2\x82", Units({'a', 0xFFFD}), "a\xEF\xBF\xBD"},
        CodecCase{"CutFourByte", "\xF0\x9F\x98", Units({0xFFFD}), "\xEF\xBF\xBD"},
        CodecCase{"LeadF8",
                  "\xF8"
                  "a",
                  Units({0xFFFD, 'a'}),
                  "\xEF\xBF\xBD"
                  "a"},
        CodecCase{"LeadFF", "\xFF\xFF", Units({0xFFFD, 0xFFFD}), "\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const testing::TestParamInfo<CodecCase>& info) { return std::string(info.param.name); });

TEST(KORString, EncodesUnitBoundariesAndLoneSurrogates) {
    struct Case {
        KORUnitString units;
        std::string bytes;
    } cases[] = {
        {Units({0x7F}), "\x7F"},
        {Units({0x80}), "\xC2\x80"},
        {Units({0x7FF}), "\xDF\xBF"},
        {Units({0x800}), "\xE0\xA0\x80"},
        {Units({0xFFFF}), "\xEF\xBF\xBF"},
        {Units({0xD800}), "\xED\xA0\x80"},
        {Units({0xDC00}), "\xED\xB0\x80"},
        {Units({0xD800, 'A'}), "\xED\xA0\x80\x41"},
        {Units({0xDC00, 0xD800}), "\xED\xB0\x80\xED\xA0\x80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KORString(c.units).GetUTF8String(), c.bytes);
    }
}

TEST(KORString, NarrowAndWideConstruction) {
    EXPECT_EQ(KORString("A\xC3", KOR_ENCODING_BYTES).Units(), Units({0x41, 0xFFC3}));
    EXPECT_TRUE(KORString(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_TRUE(KORString("abc", static_cast<KORCharEncodingType>(2)).IsEmpty());
    EXPECT_TRUE(KORString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    // Wide characters keep their low 16 bits; units widen back zero-extended.
    KORString wide(L"a\U0001F600");
    EXPECT_EQ(wide.Units(), Units({'a', 0xF600}));
    EXPECT_EQ(KORString(Units({0xFFFF})).GetWstring(), std::wstring(1, L'\xFFFF'));
}

TEST(KORString, GetCStringNeverWritesPastTheLength) {
    KORString text("Gr\xC3\xBC\xC3\x9F");  // six bytes
    char buffer[16];
    unsigned long length = 0;
    EXPECT_EQ(text.GetCString(buffer, length), 1);
    length = sizeof(buffer);
    EXPECT_EQ(text.GetCString(nullptr, length), 1);

    length = 7;
    ASSERT_EQ(text.GetCString(buffer, length), 0);
    EXPECT_EQ(length, 6u);
    EXPECT_STREQ(buffer, "Gr\xC3\xBC\xC3\x9F");

    std::memset(buffer, 'x', sizeof(buffer));
    length = 6;  // no room for the NUL
    EXPECT_EQ(text.GetCString(buffer, length), 1);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(buffer[0], '\0');
    for (size_t i = 6; i < sizeof(buffer); ++i) {
        EXPECT_EQ(buffer[i], 'x') << i;
    }
}

TEST(KORString, SubString) {
    KORString text("abcd");
    EXPECT_EQ(text.SubString(2, 100), "cd");
    EXPECT_EQ(text.SubString(4, 1), "");
    EXPECT_EQ(text.SubString(1, 2), "bc");
    EXPECT_THROW(text.SubString(5, 1), std::out_of_range);
    try {
        text.SubString(5, 1);
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "basic_string::substr");
    }
    EXPECT_EQ(KORString().SubString(0, 1), "");
    EXPECT_EQ(KORString().SubString(7, 1), "");
}

TEST(KORString, ReplaceAll) {
    struct Case {
        const char* text;
        const char* pattern;
        const char* replacement;
        const char* expected;
    } cases[] = {
        {"aab", "ab", "b", "b"},  // a replacement forming a new occurrence is replaced again
        {"aaab", "ab", "b", "b"},
        {"a.b.c", ".", "", "abc"},
        {"abc", "", "x", "abc"},
        {"hello world", "o", "0", "hell0 w0rld"},
        {"xyz", "q", "r", "xyz"},
        {"aaa", "a", "aa", "aaaaaa"},  // replacement holding the pattern: ends
        {"xabx", "ab", "ab", "xabx"},
        {"%20%20", "%20", " %20 ", " %20  %20 "},
    };
    for (const Case& c : cases) {
        KORString text(c.text);
        KORString& result = text.ReplaceAll(c.pattern, c.replacement);
        EXPECT_EQ(&result, &text);
        EXPECT_EQ(text.GetUTF8String(), c.expected) << c.text << " / " << c.pattern;
    }
}

TEST(KORString, TrimWhiteSpaces) {
    struct Case {
        const char* text;
        const char* set;
        const char* expected;
    } cases[] = {
        {"  a b \t", " \t", "a b"},
        {" \t ", " \t", ""},
        {"abc", "", "abc"},
        {"xxaxx", "x", "a"},
        // Characters, not bytes: \xC3\xA3 shares its lead byte with \xC3\xA9.
        {"\xC3\xA3\xC3\xA9", "\xC3\xA9", "\xC3\xA3"},
        {"\xF0\x9F\x98\x81\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81"},
    };
    for (const Case& c : cases) {
        KORString text(c.text);
        EXPECT_EQ(text.TrimWhiteSpaces(c.set).GetUTF8String(), c.expected) << c.text;
        EXPECT_EQ(text.GetUTF8String(), c.text);
    }
}

TEST(KORString, CharacterSets) {
    KORString text("abc");
    EXPECT_TRUE(text.ContainsAny("xc", 0));
    EXPECT_TRUE(text.ContainsAny("c", 2));
    EXPECT_FALSE(text.ContainsAny("a", 1));
    EXPECT_FALSE(text.ContainsAny("c", 3));
    EXPECT_FALSE(text.ContainsAny("", 0));

    for (char special : std::string("~`!@#$%^&*()_+{}:\"<>?/.,';][=-|\\")) {
        EXPECT_TRUE(KORString(std::string("a") + special).ContainsSpecialCharacters()) << special;
    }
    EXPECT_FALSE(KORString("abc 123").ContainsSpecialCharacters());

    struct Case {
        const char* name;
        bool permissible;
    } names[] = {{"update.log", true}, {"", false},     {"a:b", false}, {"50%", false},
                 {"a/b", false},       {"a\\b", false}, {"a?", false},  {"a*", false},
                 {"<a>", false},       {"a\"b", false}, {"a|b", false}, {"my file", true}};
    for (const Case& c : names) {
        EXPECT_EQ(KORString(c.name).IsPermissableFileName(), c.permissible) << c.name;
    }
}

TEST(KORString, SubStrings) {
    std::vector<KORString> pieces{KORString("kept")};
    EXPECT_TRUE(KORString("a,,b,").SubStrings(",", pieces));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[1], "a");
    EXPECT_EQ(pieces[2], "b");

    pieces.clear();
    EXPECT_TRUE(KORString("x y;z").SubStrings(" ;", pieces));
    EXPECT_EQ(pieces.size(), 3u);

    pieces.clear();
    EXPECT_FALSE(KORString("a,b").SubStrings("", pieces));
    EXPECT_TRUE(pieces.empty());
}

TEST(KORString, Numbers) {
    KORString text("n=");
    EXPECT_TRUE(text.AppendNumber(255, "%04x"));
    EXPECT_TRUE(text.AppendNumber(-7));
    EXPECT_TRUE(text.AppendNumber(LLONG_MIN));
    EXPECT_TRUE(text.AppendNumber(1234567890123LL, "[%lld]"));
    EXPECT_TRUE(text.AppendUNumber(4294967295u));
    EXPECT_TRUE(text.AppendUNumber(18446744073709551615ULL));
    EXPECT_EQ(text.GetUTF8String(),
              "n=00ff-7-9223372036854775808[1234567890123]429496729518446744073709551615");

    // The formatted text is bounded by the 1024-byte buffer.
    KORString wide;
    wide.AppendNumber(1, "%01100d");
    EXPECT_EQ(wide.Length(), 1023u);

    EXPECT_EQ(KORString("ff").GetIntValue(std::hex), 255u);
    EXPECT_EQ(KORString(" 42").GetIntValue(std::dec), 42u);
    EXPECT_EQ(KORString("zz").GetIntValue(std::hex), 0u);
    EXPECT_EQ(KORString("").GetIntValue(std::dec), 0u);
    EXPECT_DOUBLE_EQ(KORString("3.5").GetDoubleValue(), 3.5);
    EXPECT_DOUBLE_EQ(KORString("x").GetDoubleValue(), 0.0);
    EXPECT_EQ(KORString::GetNPos(), static_cast<unsigned long>(-1));
}

TEST(KORString, OperatorsKeepOrderAndCase) {
    KORString text("ABC");
    EXPECT_TRUE(text == "ABC");
    EXPECT_TRUE("ABC" == text);
    EXPECT_FALSE(text == "abc");
    EXPECT_TRUE(text == L"ABC");
    EXPECT_TRUE(L"ABC" == text);
    EXPECT_FALSE(text == "ABCD");
    EXPECT_EQ(("<" + text + ">").GetUTF8String(), "<ABC>");
    EXPECT_EQ((L"<" + text + L">").GetUTF8String(), "<ABC>");
    text += "\xC3\xBC";
    EXPECT_EQ(text.GetUTF8String(), "ABC\xC3\xBC");
    EXPECT_EQ(text.Find("C"), 2u);
    EXPECT_EQ(text.Find("Q"), KORString::GetNPos());
}

}  // namespace
