#pragma once
// Test helpers for everything that talks to the controller through the
// command catalogue: a working directory holding the shipped "ipmi_cmd.ini"
// and "ErrorCodes.xml", the code a failure recorded, and what the simulated
// controller received.

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <simmachine/SimMachine.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "CVEKErrorInfo.h"
#include "CVEKException.h"

namespace cataloguetest {

// The working directory of one test with the package's catalogue and error
// messages; the error catalogue read from it is released again at the end.
class CatalogueWorkDir : public kortest::TemporaryDirectory {
public:
    CatalogueWorkDir() {
        Enter();
        for (const char* name : {"ipmi_cmd.ini", "ErrorCodes.xml"})
            std::filesystem::copy_file(std::string(KOR_PACKAGE_DIR) + "/" + name,
                                       Path() + "/" + name);
    }
    ~CatalogueWorkDir() { ErrorFramework::CVEKErrorInfo::ReleaseVEKErrorInfo(); }
};

inline int RecordedErrorCode() {
    return ErrorFramework::CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode;
}

inline std::string CatalogueMessage(int code) {
    return ErrorFramework::CVEKErrorInfo::GetVEKErrorInfo()->GetErrorMessage(code);
}

// Runs the call, expects a CVEKException that carries the message of the
// code it recorded, and returns its text ("" when nothing was thrown).
inline std::string ExpectFailure(const std::function<void()>& call, int code) {
    try {
        call();
    } catch (const Exception::CVEKException& error) {
        EXPECT_EQ(RecordedErrorCode(), code);
        std::string text = error.what();
        EXPECT_EQ(text.rfind("CVEKException - [" + CatalogueMessage(code) + "]", 0), 0u) << text;
        return text;
    }
    ADD_FAILURE() << "no CVEKException, expected code " << code;
    return "";
}

inline std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02x", text.empty() ? "" : " ", byte);
        text += hex;
    }
    return text;
}

// The requests the controller received, as "name: bytes" lines.
inline std::vector<std::string> ReceivedRequests() {
    const std::vector<std::vector<uint8_t>> requests = sim::IpmiRequests();
    const std::vector<std::string> names = sim::IpmiRequestNames();
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < requests.size(); ++i)
        lines.push_back((i < names.size() ? names[i] : "?") + ": " + Hex(requests[i]));
    return lines;
}

}  // namespace cataloguetest
