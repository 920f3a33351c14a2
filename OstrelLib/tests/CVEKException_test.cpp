#include "CVEKException.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SourcePathShortener.h"

namespace {

TEST(CVEKExceptionTest, TextNamesMessageAndEveryFrame) {
    Exception::CVEKException error("/home/build/tree/OstrelLib/src/CIPMICommandManagement.cpp", 445,
                                   "SetIPMIRequest", "A required command is missing.",
                                   "CVEKException");
    EXPECT_STREQ(error.what(),
                 "CVEKException - [A required command is missing.]\n\t at "
                 "SetIPMIRequest(OstrelLib/src/CIPMICommandManagement.cpp:445)");

    error.AddStackTrace("/home/build/tree/OstrelLib/src/COstrelSession.cpp", 98,
                        "BeginOstrelSession");
    error.AddStackTrace("relative/Driver.cpp", 7, "Update");
    const std::string expected =
        "CVEKException - [A required command is missing.]"
        "\n\t at SetIPMIRequest(OstrelLib/src/CIPMICommandManagement.cpp:445)"
        "]\n\t at BeginOstrelSession(OstrelLib/src/COstrelSession.cpp:98)"
        "]\n\t at Update(relative/Driver.cpp:7)";
    EXPECT_EQ(error.what(), expected);
}

TEST(CVEKExceptionTest, SourcePathsStartAtTheTreesTopFolder) {
    struct PathCase {
        std::string path;
        std::string shortened;
    };
    const std::vector<PathCase> cases = {
        {"/work/main/OstrelLib/src/CVEKErrorInfo.cpp", "OstrelLib/src/CVEKErrorInfo.cpp"},
        {"/work/main/korbase/source/private/KORFile.cpp", "korbase/source/private/KORFile.cpp"},
        {"/w/koripmi/src/A.cpp", "koripmi/src/A.cpp"},
        {"/w/CMBaseUtils/tests/B_test.cpp", "CMBaseUtils/tests/B_test.cpp"},
        {"/w/library/EntryPoints.cpp", "library/EntryPoints.cpp"},
        {"/srv/korbase/copy/OstrelLib/src/X.cpp", "korbase/copy/OstrelLib/src/X.cpp"},
        {"/srv/OstrelLib/copy/korbase/X.cpp", "OstrelLib/copy/korbase/X.cpp"},
        {"OstrelLib/src/X.cpp", "OstrelLib/src/X.cpp"},
        {"/srv/OstrelLibrary/X.cpp", "/srv/OstrelLibrary/X.cpp"},
        {"/srv/sources/X.cpp", "/srv/sources/X.cpp"},
        {"", ""},
    };
    for (const PathCase& testCase : cases)
        EXPECT_EQ(Exception::ShortenSourcePath(testCase.path), testCase.shortened) << testCase.path;
}

}  // namespace
