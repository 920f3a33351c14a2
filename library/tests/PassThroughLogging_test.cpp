// Logging switched on by the marker file, through the pass-through export of
// the built library: which files it writes, whose name heads the lines, new
// files on the first call and appending on later ones, and logging that stays
// on after a catalogue failed to build.

#include <gtest/gtest.h>
#include <kortest/LogFile.h>
#include <simmachine/SimMachine.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ShippedLibrary.h"

namespace {

using Bytes = std::vector<unsigned char>;
using kortest::CountLinesWith;

const char kInternalLog[] = "vekdebug_update_internal.log";
const char kUserLog[] = "vekdebug_update.log";
const char kEntering[] = "Entering ProcessIPMICommandRequest() for DidazOrorad Library.";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

TEST(PassThroughLogging, MarkerFileSwitchesTheUpdateLogsOnAcrossCalls) {
    shippedlibrary::PackageDirectory package;
    const ProcessIPMICommandRequestFn passThrough = shippedlibrary::LoadPassThrough();
    package.Write("vekdebuglog", "");
    sim::Reset();

    Bytes response;
    ASSERT_EQ(passThrough("OrinStatus", response), 0u);
    // The first configuration of the process decides the files; the front's
    // own ones are never opened.
    EXPECT_TRUE(std::filesystem::exists(package.Join(kUserLog)));
    EXPECT_FALSE(std::filesystem::exists(package.Join("koripmi.log")));
    EXPECT_FALSE(std::filesystem::exists(package.Join("koripmi_internal.log")));
    EXPECT_EQ(package.Read(kUserLog), "");
    const std::vector<std::string> first = Lines(package.Read(kInternalLog));
    ASSERT_FALSE(first.empty());
    // Before the front configures logging its lines carry the library's name, after it the front's.
    EXPECT_EQ(first.front().rfind("StageUpdateLibrary ", 0), 0u) << first.front();
    EXPECT_EQ(first.back().rfind("KORIPMILibrary ", 0), 0u) << first.back();
    // Logging was off when the call began.
    EXPECT_EQ(CountLinesWith(first, kEntering), 0u);

    ASSERT_EQ(passThrough("OrinStatus", response), 0u);
    const std::vector<std::string> second = Lines(package.Read(kInternalLog));
    ASSERT_EQ(second.size(), 2 * first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), second.begin()));
    EXPECT_EQ(package.Read(kUserLog), "");

    // A catalogue that fails to build leaves logging on, so the next call's
    // first line is written.
    package.Write("ipmi_cmd.ini", "[Bad]\nCommand = 30 A1\nRequestLength = 3\n");
    EXPECT_THROW(passThrough("OrinStatus", response), std::exception);
    std::filesystem::copy_file(std::string(KOR_PACKAGE_DIR) + "/ipmi_cmd.ini",
                               package.Join("ipmi_cmd.ini"),
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(passThrough("OrinStatus", response), 0u);
    const std::vector<std::string> last = Lines(package.Read(kInternalLog));
    EXPECT_EQ(CountLinesWith(last, "IPMI Command (Bad) in INI file ipmi_cmd.ini is malformed"), 1u);
    EXPECT_EQ(CountLinesWith(last, kEntering), 1u);
}

}  // namespace
