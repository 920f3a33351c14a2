// Finding, loading and installing the Norb library, through the platform facade.
#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <string>
#include <vector>

#include "BaseUtilsLog.h"
#include "CPlatformLayer.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kNorbPath = "/opt/tessel/vek64/lib/libnrbipm.so";
const std::string kNorb64Path = "/opt/tessel/vek64/lib/libnrbipm64.so";

std::string ScriptCommand(const std::string& action) {
    return CPlatformLayer::getCurrentProcessDirectory() + "/vekfernlyinstall.sh " + action;
}

std::string Exists(const std::string& path, bool exists) {
    return "CLinuxImpl::IsFileExistsAbs() File name " + path +
           (exists ? " exist" : " doesnt exist");
}

Lines Messages() {
    Lines messages = BaseUtilsLog().Take();
    BaseUtilsLog().Skip();
    return messages;
}

void Start(const std::string& scenario) {
    sim::Reset(scenario);
    BaseUtilsLog().Skip();
}

}  // namespace

TEST(NorbLibraryTest, InstalledMeansLoadableFromTheMakersDirectory) {
    const struct {
        const char* what;
        std::string scenario;
        bool installed;
        Lines messages;
    } rows[] = {
        {"installed",
         "norb = installed",
         true,
         {"Load library using " + kNorbPath, Exists(kNorbPath, true),
          "NORB is installed in the system"}},
        {"only on the loader's path",
         "norb = system",
         false,
         {"Load library using " + kNorbPath, Exists(kNorbPath, false), Exists(kNorb64Path, false)}},
        {"ESXi keeps it under /scratch",
         "uname.sysname = VMkernel\nnorb = installed",
         true,
         {"Load library using /scratch/opt/tessel/vek/lib/libnrbipm.so",
          Exists("/scratch/opt/tessel/vek/lib/libnrbipm.so", true),
          "NORB is installed in the system"}},
        {"ESXi without it",
         "uname.sysname = VMkernel",
         false,
         {"Load library using /scratch/opt/tessel/vek/lib/libnrbipm.so",
          Exists("/scratch/opt/tessel/vek/lib/libnrbipm.so", false),
          Exists("/scratch/opt/tessel/vek/lib/libnrbipm64.so", false)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.scenario);
        EXPECT_EQ(CPlatformLayer::isNORBInstalled(), row.installed);
        EXPECT_EQ(Messages(), row.messages);
    }
}

TEST(NorbLibraryTest, LoadNorbLibraryFallsBackToTheLoadersSearchPath) {
    const std::string notInDirectory =
        "LoadNorbLibrary: Unable to Load libnrbipm.so from /opt/tessel/vek64/lib/";
    const std::string notAnywhere = "LoadNorbLibrary: Unable to Load libnrbipm.so from TOLVAN";
    const struct {
        const char* what;
        std::string scenario;
        bool loaded;
        Lines messages;
    } rows[] = {
        {"installed", "norb = installed", true, {Exists(kNorbPath, true)}},
        {"system", "norb = system", true, {Exists(kNorbPath, false), notInDirectory}},
        {"absent", "norb = absent", false, {Exists(kNorbPath, false), notInDirectory, notAnywhere}},
        {"absent on ESXi: the message still names the usual directory",
         "uname.sysname = VMkernel",
         false,
         {Exists("/scratch/opt/tessel/vek/lib/libnrbipm.so", false), notInDirectory, notAnywhere}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.scenario);
        void* handle = CPlatformLayer::LoadNorbLibrary("libnrbipm.so");
        EXPECT_EQ(handle != nullptr, row.loaded);
        CPlatformLayer::FreeLibrary(handle);
        EXPECT_EQ(Messages(), row.messages);
    }
}

// Each row is a sequence of calls ('I' InstallNorb, 'U' UninstallNorb) on one
// machine, with the result of every call and the commands of the whole sequence.
TEST(NorbLibraryTest, InstallScriptRunsOncePerNestingAndOnlyWhenNorbWasMissing) {
    const std::string install = ScriptCommand("install");
    const std::string uninstall = ScriptCommand("uninstall");
    const std::string scriptFails =
        "command " + install + " => exit 1\ncommand " + uninstall + " => exit 1\n";
    const struct {
        const char* what;
        std::string scenario;
        std::string calls;
        std::vector<bool> results;
        Lines commands;
    } rows[] = {
        {"missing, script works", "", "IIUU", {false, false, false, false}, {install, uninstall}},
        {"already installed", "norb = installed", "IUIU", {false, false, false, false}, {}},
        {"missing, script fails, none on the loader's path",
         scriptFails,
         "IU",
         {true, true},
         {install, uninstall}},
        {"missing, script fails, one on the loader's path",
         scriptFails + "norb = system",
         "IU",
         {false, true},
         {install, uninstall}},
        {"unpaired uninstall changes nothing",
         "",
         "UIU",
         {false, false, false},
         {install, uninstall}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.scenario);
        std::vector<bool> results;
        for (const char call : row.calls) {
            results.push_back(call == 'I' ? CPlatformLayer::InstallNorb()
                                          : CPlatformLayer::UninstallNorb());
        }
        EXPECT_EQ(results, row.results);
        EXPECT_EQ(sim::ShellCommands(), row.commands);
    }
}

TEST(NorbLibraryTest, InstallLogsEachDecision) {
    const std::string install = ScriptCommand("install");
    const std::string scriptFails = "command " + install + " => exit 1\n";
    const Lines lookedUp = {"Load library using " + kNorbPath, Exists(kNorbPath, false),
                            Exists(kNorb64Path, false)};
    const Lines tried = {"InstallNorb: Custom Norb Not Already Present",
                         "Executimg command: " + install};
    const struct {
        const char* what;
        std::string scenario;
        Lines outcome;
    } rows[] = {
        {"script works", "", {"InstallNorb: Custome Norb Installed Successfully"}},
        {"found on the loader's path",
         scriptFails + "norb = system",
         {"InstallNorb: Norb Installation Failed", "InstallNorb: Found TOLVAN Norb"}},
        {"nowhere",
         scriptFails,
         {"InstallNorb: Norb Installation Failed", "InstallNorb: TOLVAN Norb Not Present"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.scenario);
        CPlatformLayer::InstallNorb();
        Lines expected = lookedUp;
        expected.insert(expected.end(), tried.begin(), tried.end());
        expected.insert(expected.end(), row.outcome.begin(), row.outcome.end());
        EXPECT_EQ(Messages(), expected);
        CPlatformLayer::UninstallNorb();
    }
}

TEST(NorbLibraryTest, UninstallReportsSuccessOnlyWhenTheScriptSucceeded) {
    const std::string uninstall = ScriptCommand("uninstall");
    const struct {
        const char* what;
        std::string scenario;
        bool failed;
        std::string message;
    } rows[] = {
        {"script works", "", false, "UninstallNorb: Norb Uninstalled Successfully"},
        {"script fails", "command " + uninstall + " => exit 1", true,
         "UninstallNorb: Norb Uninstallation Failed"},
        {"present before: no script", "norb = installed", false,
         "UninstallNorb: Norb Uninstalled Successfully"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.scenario);
        CPlatformLayer::InstallNorb();
        Messages();
        EXPECT_EQ(CPlatformLayer::UninstallNorb(), row.failed);
        EXPECT_EQ(Messages(), Lines{row.message});
    }
}
