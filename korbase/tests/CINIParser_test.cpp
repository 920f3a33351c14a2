#include "CINIParser.h"

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <kortest/PlantedFiles.h>
#include <kortest/TemporaryDirectory.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

class CINIParserTest : public ::testing::Test {
protected:
    std::string WriteIni(const std::string& content) const {
        return m_directory.Write("test.ini", content);
    }

    kortest::TemporaryDirectory m_directory;
};

struct Lookup {
    std::string section;
    std::string key;
    std::string value;
};

struct ParseCase {
    const char* name;
    std::string content;
    bool parses;
    std::vector<std::string> sections;
    std::vector<Lookup> lookups;
    std::vector<std::string> loggedOnce;
};

const std::string kOverlongValue(CINIParser::kMaxLineLength, 'x');
const std::string kLongestValue(CINIParser::kMaxLineLength - 2, 'y');

TEST_F(CINIParserTest, ParsesEachLineKindAsTheCatalogueExpects) {
    const std::vector<ParseCase> cases = {
        {"blanks around header, name and equals sign",
         "  [  Begin Session  ]  trailing text\n\tCommand \t=  30 A1 04\t \n",
         true,
         {"  Begin Session  "},
         {{"Begin Session", "Command", "30 A1 04"}, {"  Begin Session ", " Command", "30 A1 04"}},
         {}},
        {"inline comment after the value",
         "[S]\nCommand = 30 A1   # the operation byte follows\n",
         true,
         {"S"},
         {{"S", "Command", "30 A1"}},
         {}},
        {"number sign before the equals sign belongs to the key",
         "[S]\nKey#1 = value\n",
         true,
         {"S"},
         {{"S", "Key#1", "value"}, {"S", "Key", "UNKNOWN"}},
         {}},
        {"semicolon starts no comment",
         "[S]\n; note = text\n",
         true,
         {"S"},
         {{"S", "; note", "text"}},
         {}},
        {"section without values is not listed",
         "[Empty]\n# only a comment\n\n[Full]\nKey = 1\n",
         true,
         {"Full"},
         {{"Full", "Key", "1"}, {"Empty", "Key", "UNKNOWN"}},
         {}},
        {"repeated section with a new key is listed twice",
         "[S]\nA = 1\n[S]\nB = 2\n",
         true,
         {"S", "S"},
         {{"S", "A", "1"}, {"S", "B", "2"}},
         {}},
        {"duplicate key keeps the first value",
         "[S]\nKey = first\nKey = second\n",
         true,
         {"S"},
         {{"S", "Key", "first"}},
         {"Duplicate Key found with section(S) and node(Key )"}},
        {"duplicate key after a repeated header leaves the header pending",
         "[S]\nA = 1\n[S]\nA = 2\nB = 3\n",
         true,
         {"S", "S"},
         {{"S", "A", "1"}, {"S", "B", "3"}},
         {"Duplicate Key found with section(S) and node(A )"}},
        {"empty values are skipped",
         "[S]\nKey=\nOther =   # nothing before the comment\n",
         true,
         {},
         {{"S", "Key", "UNKNOWN"}, {"S", "Other", "UNKNOWN"}},
         {"Empty value found for key Key=.",
          "Empty value found for key Other =   # nothing before the comment."}},
        {"key before any header", "Key = value\n", true, {}, {{"", "Key", "value"}}, {}},
        {"last line without line feed",
         "[S]\nKey = value",
         true,
         {"S"},
         {{"S", "Key", "value"}},
         {}},
        {"carriage returns stay unless a comment cuts them",
         "[S]\r\nA = 1\r\nB = 2 # comment\r\n",
         true,
         {"S"},
         {{"S", "A", "1\r"}, {"S", "B", "2"}},
         {}},
        {"lookup is case-sensitive",
         "[S]\nKey = value\n",
         true,
         {"S"},
         {{"s", "Key", "UNKNOWN"}, {"S", "key", "UNKNOWN"}},
         {}},
        {"line without equals sign stops parsing",
         "[S]\nA = 1\nnot a key line\nB = 2\n",
         false,
         {"S"},
         {{"S", "A", "1"}, {"S", "B", "UNKNOWN"}},
         {"Error occurred parsing key for line not a key line."}},
        {"header without closing bracket stops parsing",
         "[S]\nA = 1\n  [Broken \nB = 2\n",
         false,
         {"S"},
         {{"S", "A", "1"}, {"Broken", "B", "UNKNOWN"}},
         {"Error occurred parsing key for line [Broken."}},
        {"line of the longest allowed length",
         "[S]\nK=" + kLongestValue + "\n",
         true,
         {"S"},
         {{"S", "K", kLongestValue}},
         {}},
        {"overlong line stops parsing",
         "[S]\nA = 1\nK=" + kOverlongValue + "\nB = 2\n",
         false,
         {"S"},
         {{"S", "A", "1"}, {"S", "K", "UNKNOWN"}, {"S", "B", "UNKNOWN"}},
         {"Error occurred parsing key for line K=xxxx"}},
    };
    for (const ParseCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        kortest::KorLog log;
        CINIParser parser(KORString(WriteIni(testCase.content)));
        EXPECT_EQ(parser.OpenAndParse(), testCase.parses);
        EXPECT_EQ(parser.GetSectionNames(), testCase.sections);
        for (const Lookup& lookup : testCase.lookups)
            EXPECT_EQ(parser.GetValue(KORString(lookup.section), KORString(lookup.key)),
                      lookup.value)
                << "[" << lookup.section << "] " << lookup.key;
        const std::string logged = log.Finish();
        for (const std::string& line : testCase.loggedOnce)
            EXPECT_EQ(kortest::CountOf(logged, line), 1u) << line << "\n" << logged;
    }
}

// Nothing but a regular file is opened, so that nothing planted in its place
// can hang the open or the read.
TEST_F(CINIParserTest, OpenRefusesMissingEmptyAndIrregularFiles) {
    struct OpenCase {
        std::string name;
        std::function<void(const std::string&)> lay;
        std::string logged;
    };
    const std::string path = m_directory.Join("test.ini");
    std::vector<OpenCase> cases = {
        {"missing", [](const std::string&) {},
         "Error opening file " + path + ". Check if file does exists in current directory"},
        {"empty", [this](const std::string&) { WriteIni(""); },
         "Input file (" + path + ") is empty."},
    };
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        cases.push_back(
            {planted.typeName,
             [&planted](const std::string& at) { kortest::Plant(at, planted.kind); },
             "Input file (" + path + ") is " + planted.typeName + ", not a regular file."});
    }
    for (const OpenCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        std::filesystem::remove_all(path);
        testCase.lay(path);
        kortest::KorLog log;
        const kortest::HangGuard guard;
        CINIParser parser{KORString(path)};
        EXPECT_FALSE(parser.OpenAndParse());
        EXPECT_TRUE(parser.GetSectionNames().empty());
        EXPECT_EQ(kortest::CountOf(log.Finish(), testCase.logged), 1u);
    }
}

TEST_F(CINIParserTest, MakeKeyJoinsTrimmedParts) {
    CINIParser parser(KORString("unused.ini"));
    EXPECT_EQ(
        parser.MakeKey(KORString("  Begin Session\t"), KORString(" Command ")).GetUTF8String(),
        "Begin Session##Command");
    EXPECT_EQ(parser.MakeKey(KORString(""), KORString("Key")).GetUTF8String(), "##Key");
}

}  // namespace
