#include "VEKErrorReporting.h"

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>

#include <filesystem>
#include <new>
#include <string>

#include "CVEKErrorInfo.h"

namespace {

using ErrorFramework::CVEKErrorInfo;

const std::string kThisFile = "OstrelLib/tests/VEKErrorReporting_test.cpp";

std::string Frame(const std::string& function, long line) {
    return "]\n\t at " + function + "(" + kThisFile + ":" + std::to_string(line) + ")";
}

// Each helper sits on one line so that the line of its throw or frame is known.
// clang-format off
const long kRaiseLine = __LINE__; void RaiseSeventySix() { VEK_RAISE(76); }
const long kRaiseCurrentLine = __LINE__; void RaiseCurrent() { VEK_RAISE_CURRENT(); }
const long kInnerLine = __LINE__; void Inner() { VEK_TRY { RaiseSeventySix(); } VEK_PASS_ON; }
const long kOuterLine = __LINE__; void Outer() { VEK_TRY { Inner(); } VEK_PASS_ON; }
const long kAllocLine = __LINE__; void Allocate() { VEK_TRY { throw std::bad_alloc(); } VEK_PASS_ON; }
const long kAllocOuterLine = __LINE__; void AllocateOuter() { VEK_TRY { Allocate(); } VEK_PASS_ON; }
int PassOnValue(int value) { VEK_TRY { return value + 1; } VEK_PASS_ON; }
void PassOnForeign() { VEK_TRY { throw std::string("digest failed"); } VEK_PASS_ON; }
// clang-format on

class VEKErrorReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_work.Enter();
        m_work.Write("ErrorCodes.xml",
                     "<ErrorCodes>"
                     "<ErrorCode CodeNo=\"1\" Discription=\"unexpected failure\"/>"
                     "<ErrorCode CodeNo=\"76\" Discription=\"command not defined\"/>"
                     "</ErrorCodes>");
    }
    void TearDown() override { CVEKErrorInfo::ReleaseVEKErrorInfo(); }

    kortest::TemporaryDirectory m_work;
};

TEST_F(VEKErrorReportingTest, RaiseRecordsCodeAndThrowsItsMessage) {
    try {
        RaiseSeventySix();
        FAIL() << "no exception";
    } catch (const Exception::CVEKException& error) {
        EXPECT_EQ(error.what(),
                  "CVEKException - [command not defined" + Frame("RaiseSeventySix", kRaiseLine));
    }
    EXPECT_EQ(CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode, 76);
}

TEST_F(VEKErrorReportingTest, RaiseCurrentKeepsTheRecordedCode) {
    CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode = 1;
    try {
        RaiseCurrent();
        FAIL() << "no exception";
    } catch (const Exception::CVEKException& error) {
        EXPECT_EQ(error.what(),
                  "CVEKException - [unexpected failure" + Frame("RaiseCurrent", kRaiseCurrentLine));
    }
    EXPECT_EQ(CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode, 1);
}

TEST_F(VEKErrorReportingTest, EachPassingFunctionAddsItsFrame) {
    try {
        Outer();
        FAIL() << "no exception";
    } catch (const Exception::CVEKException& error) {
        EXPECT_EQ(error.what(), "CVEKException - [command not defined" +
                                    Frame("RaiseSeventySix", kRaiseLine) +
                                    Frame("Inner", kInnerLine) + Frame("Outer", kOuterLine));
    }
}

TEST_F(VEKErrorReportingTest, AllocationFailureBecomesBadAllocExceptionPerFunction) {
    const std::string first = std::string(std::bad_alloc().what()) + " " + kThisFile +
                              " Allocate " + std::to_string(kAllocLine) + "\n";
    try {
        Allocate();
        FAIL() << "no exception";
    } catch (const Exception::BadAllocException& error) {
        EXPECT_EQ(error.what(), first);
    }
    try {
        AllocateOuter();
        FAIL() << "no exception";
    } catch (const Exception::BadAllocException& error) {
        EXPECT_EQ(error.what(), first + " " + kThisFile + " AllocateOuter " +
                                    std::to_string(kAllocOuterLine) + "\n");
    }
}

TEST_F(VEKErrorReportingTest, ResultsAndForeignExceptionsPassUntouched) {
    EXPECT_EQ(PassOnValue(41), 42);
    EXPECT_THROW(PassOnForeign(), std::string);
}

TEST_F(VEKErrorReportingTest, MissingCatalogueSurfacesInsteadOfTheRaise) {
    CVEKErrorInfo::ReleaseVEKErrorInfo();
    std::filesystem::remove("ErrorCodes.xml");
    try {
        Inner();
        FAIL() << "no exception";
    } catch (const Exception::CVEKException& error) {
        const std::string text = error.what();
        EXPECT_EQ(
            text.rfind("CVEKException - [Error occurred during opening and parsing error code XML "
                       "file.]",
                       0),
            0u)
            << text;
        EXPECT_NE(text.find(Frame("Inner", kInnerLine)), std::string::npos) << text;
    }
}

}  // namespace
