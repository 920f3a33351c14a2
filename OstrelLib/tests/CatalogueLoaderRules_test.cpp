// Catalogue entries the loader must take: a Command listing more bytes than a
// message holds (only RequestLength of them are sent) and a session-bound
// entry that lists the session id bytes but sends fewer.

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CIPMICommandManagement.h"
#include "CatalogueTestSupport.h"

namespace {

using cataloguetest::CatalogueWorkDir;
using cataloguetest::Hex;
using cataloguetest::ReceivedRequests;
using IPMIFramework::CIPMICommandManagement;
using Lines = std::vector<std::string>;

std::string ShippedCatalogue() {
    std::ifstream file(std::string(KOR_PACKAGE_DIR) + "/ipmi_cmd.ini");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(CatalogueLoaderRules, EntriesSendingFewerBytesThanTheyListAreAccepted) {
    std::vector<uint8_t> longCommand = {0x30, 0xA1, 0x01};
    longCommand.resize(303, 0);
    struct Row {
        std::string section;
        bool sessionBound;
        std::string listed;  // the entry's request bytes after it ran
        Lines sent;
    };
    const Row rows[] = {
        {"Command = " + Hex(longCommand) + "\nRequestLength = 3\nResponseLength = 5\n",
         false,
         Hex(longCommand),
         {"OrinStatus: 30 a1 01"}},
        // The session id lands at positions 4 and 5 of the listed bytes.
        {"Command = 30 A1 02 00 00\nRequestLength = 3\nResponseLength = 4\n"
         "IsSessionRequired = 1\n",
         true,
         "30 a1 02 34 12",
         {"BeginOstrelSessionExtend: 30 a1 10 00 00 3c", "OstrelAccessEnabled: 30 a1 02"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.section.substr(0, 60));
        CatalogueWorkDir work;
        work.Write("ipmi_cmd.ini", ShippedCatalogue() + "\n[Added]\n" + row.section);
        sim::Reset();
        CIPMICommandManagement catalogue;
        if (row.sessionBound) {
            ASSERT_EQ(catalogue.ProcessIPMICommand("BeginOstrelSessionExtend"), 0);
        }
        EXPECT_EQ(catalogue.ProcessIPMICommand("Added"), 0);
        EXPECT_EQ(ReceivedRequests(), row.sent);
        EXPECT_EQ(Hex(catalogue.GetIPMIRequest("Added")->m_vecIPMIRequest), row.listed);
    }
}

}  // namespace
