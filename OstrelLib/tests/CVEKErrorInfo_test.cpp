#include "CVEKErrorInfo.h"

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <kortest/TemporaryDirectory.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "CVEKException.h"

namespace {

using ErrorFramework::CVEKErrorInfo;

class CVEKErrorInfoTest : public ::testing::Test {
protected:
    void SetUp() override { m_work.Enter(); }
    void TearDown() override { CVEKErrorInfo::ReleaseVEKErrorInfo(); }

    kortest::TemporaryDirectory m_work;
};

std::string EscapeForRegex(const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

TEST_F(CVEKErrorInfoTest, UnusableFileFailsWithThreeFramesAndLeavesNoInstance) {
    struct FileCase {
        const char* name;
        const char* content;  // null: no file
        std::string message;
    };
    const std::string openFailure =
        "Error occurred during opening and parsing error code XML file.";
    const std::vector<FileCase> cases = {
        {"missing", nullptr, openFailure},
        {"empty", "", openFailure},
        {"not XML", "ErrorCodes: none", openFailure},
        {"wrong root", R"(<Errors><ErrorCode CodeNo="1" Discription="m"/></Errors>)",
         "Error occurred during parsing root node for file"},
        {"root without children", "<ErrorCodes/>",
         "Error occurred during parsing child node for file."},
    };
    const std::string frame = R"(\]\n\t at %s\(OstrelLib/src/CVEKErrorInfo\.cpp:[0-9]+\))";
    const auto frameOf = [&](const std::string& function) {
        return std::regex_replace(frame, std::regex("%s"), function);
    };
    for (const FileCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        std::filesystem::remove("ErrorCodes.xml");
        if (testCase.content != nullptr)
            m_work.Write("ErrorCodes.xml", testCase.content);
        const std::regex expected("CVEKException - \\[" + EscapeForRegex(testCase.message) +
                                  frameOf("CVEKErrorInfo") + frameOf("CVEKErrorInfo") +
                                  frameOf("GetVEKErrorInfo"));
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                CVEKErrorInfo::GetVEKErrorInfo();
                ADD_FAILURE() << "no exception";
            } catch (const Exception::CVEKException& error) {
                EXPECT_TRUE(std::regex_match(error.what(), expected)) << error.what();
            }
        }
    }
    m_work.Write("ErrorCodes.xml",
                 R"(<ErrorCodes><ErrorCode CodeNo="1" Discription="one"/></ErrorCodes>)");
    EXPECT_STREQ(CVEKErrorInfo::GetVEKErrorInfo()->GetErrorMessage(1), "one");
}

TEST_F(CVEKErrorInfoTest, ReadsCodesAndMessagesFromAttributes) {
    m_work.Write("ErrorCodes.xml",
                 "<?xml version=\"1.0\"?>\n"
                 "<ErrorCodes>\n"
                 "  <!-- first entry of a code wins -->\n"
                 "  <ErrorCode CodeNo=\"76\" Discription=\"first 76\"/>\n"
                 "  <ErrorCode CodeNo=\"76\" Discription=\"second 76\"/>\n"
                 "  <ErrorCode CodeNo=\"5\"/>\n"
                 "  <ErrorCode CodeNo=\" 42 and text\" Discription=\"forty-two\"/>\n"
                 "  <ErrorCode CodeNo=\"not a number\" Discription=\"from text\"/>\n"
                 "  <ErrorCode CodeNo=\"0\" Discription=\"real zero\"/>\n"
                 "  <ErrorCode CodeNo=\"4294967373\" Discription=\"too big\"/>\n"
                 "  <Other CodeNo=\"7\" Discription=\"other element\"/>\n"
                 "  <Group><ErrorCode CodeNo=\"8\" Discription=\"nested\"/></Group>\n"
                 "  <ErrorCode CodeNo=\"-3\" Discription=\"negative\"/>\n"
                 "</ErrorCodes>\n");
    CVEKErrorInfo* catalogue = CVEKErrorInfo::GetVEKErrorInfo();
    EXPECT_EQ(catalogue->m_nErrorCode, 0);
    struct Expected {
        int code;
        const char* message;
    };
    const std::vector<Expected> expected = {
        {76, "first 76"}, {5, ""}, {42, "forty-two"}, {0, "from text"}, {77, ""},
        {7, ""},          {8, ""}, {-3, "negative"},  {2147483647, ""}, {-1, ""},
    };
    for (const Expected& entry : expected)
        EXPECT_STREQ(catalogue->GetErrorMessage(entry.code), entry.message) << entry.code;
    EXPECT_EQ(CVEKErrorInfo::GetVEKErrorInfo(), catalogue);
}

TEST_F(CVEKErrorInfoTest, CurrentCodeSelectsTheMessage) {
    m_work.Write("ErrorCodes.xml",
                 "<ErrorCodes><ErrorCode CodeNo=\"75\" Discription=\"no payload\"/>"
                 "</ErrorCodes>");
    CVEKErrorInfo* catalogue = CVEKErrorInfo::GetVEKErrorInfo();
    catalogue->m_nErrorCode = 75;
    EXPECT_STREQ(catalogue->GetErrorMessage(CVEKErrorInfo::kCurrentErrorCode), "no payload");

    kortest::KorLog log;
    catalogue->m_nErrorCode = 74;
    EXPECT_STREQ(catalogue->GetErrorMessage(9999), "");
    EXPECT_STREQ(catalogue->GetErrorMessage(31), "");
    const std::string logged = log.Finish();
    EXPECT_EQ(kortest::CountOf(logged, "Could not able to find message for error code as 74."), 1u);
    EXPECT_EQ(kortest::CountOf(logged, "Could not able to find message for error code as 31."), 1u);
}

TEST_F(CVEKErrorInfoTest, ReleaseLetsTheNextCallReadTheFileAgain) {
    m_work.Write("ErrorCodes.xml",
                 R"(<ErrorCodes><ErrorCode CodeNo="1" Discription="old"/></ErrorCodes>)");
    CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode = 1;
    CVEKErrorInfo::ReleaseVEKErrorInfo();
    CVEKErrorInfo::ReleaseVEKErrorInfo();

    m_work.Write("ErrorCodes.xml",
                 R"(<ErrorCodes><ErrorCode CodeNo="1" Discription="new"/></ErrorCodes>)");
    CVEKErrorInfo* fresh = CVEKErrorInfo::GetVEKErrorInfo();
    EXPECT_EQ(fresh->m_nErrorCode, 0);
    EXPECT_STREQ(fresh->GetErrorMessage(1), "new");

    // Released and not recreated while the file is gone: no stale instance.
    CVEKErrorInfo::ReleaseVEKErrorInfo();
    std::filesystem::remove("ErrorCodes.xml");
    EXPECT_THROW(CVEKErrorInfo::GetVEKErrorInfo(), Exception::CVEKException);
}

}  // namespace
