// Recognition of the platform and the udev rule handling, each case in a fresh
// process (see FreshProcess.h) on its own simulated machine.
#include "CLinuxUtils.h"

#include <gtest/gtest.h>
#include <kortest/KorLog.h>
#include <kortest/PlantedFiles.h>
#include <kortest/TemporaryDirectory.h>
#include <simmachine/SimMachine.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "FreshProcess.h"
#include "RunTimeFiles.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kRulesDirectories[] = {"/etc/udev/rules.d/", "/lib/udev/rules.d/",
                                         "/run/udev/rules.d/"};
const std::string kRuleFiles[] = {"98-secupdusb.rules", "00-secupd-tessel.rules"};

// File operations recorded so far, and how many of them opened a file.
struct FileEvents {
    FileEvents() {
        for (const sim::Event& event : sim::TraceOf("file")) {
            ++all;
            const std::string& op = event.fields.at("op");
            opens += op == "fopen" || op == "open" ? 1 : 0;
        }
    }
    std::size_t all = 0;
    std::size_t opens = 0;
};

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A file of the scenario with the text as its contents.
std::string ScenarioFile(const std::string& path, const std::string& text) {
    return "file " + path + " <<END\n" + text + "\nEND\n";
}

struct RecognitionRow {
    const char* what;
    std::string scenario;
    int platform;
    bool opensFiles;  // whether the first call opens any file
    Lines messages;   // of both calls
};

// The platform of both calls, whether each read files, and what was logged.
Lines Recognise(const std::string& scenario) {
    sim::Reset(scenario);
    kortest::KorLog log;
    const FileEvents before;
    const int first = CLinuxUtils::GetLinuxOSPlatform();
    const FileEvents between;
    const int second = CLinuxUtils::GetLinuxOSPlatform();
    const FileEvents after;
    Lines report = {
        "first " + std::to_string(first), "second " + std::to_string(second),
        "first call opens " + std::string(between.opens > before.opens ? "files" : "nothing"),
        "second call touches " + std::string(after.all > between.all ? "files" : "nothing")};
    for (const std::string& message : log.Take()) {
        report.push_back(message);
    }
    return report;
}

}  // namespace

TEST(CLinuxUtilsTest, RecognisesEachPlatformOnceFromItsReleaseFiles) {
    const std::string longLine(3000, 'x');
    const std::string newUmi =
        ScenarioFile("/wmb-version", "BUILD=1\n" + longLine + "\nWMB_MAJOR_VERSION=2");
    const std::string newUmiWithoutMarker = ScenarioFile("/wmb-version", "BUILD=1\n" + longLine);
    const std::string centOs =
        ScenarioFile("/etc/redhat-release", "CentOS Linux release 7.9.2009 (Core)");
    const std::string suse = ScenarioFile("/etc/SuSE-release", "");
    const RecognitionRow rows[] = {
        {"not root",
         "root = no",
         -1,
         false,
         {"ERROR getLinuxOSVer:user is not root", "ERROR getLinuxOSVer:user is not root"}},
        {"ESXi",
         "uname.sysname = VMkernel\n" + centOs,
         14,
         false,
         {"DEBUG getLinuxOSVer: ESXi Found"}},
        {"ESXi in another case",
         "uname.sysname = vmkernel",
         14,
         false,
         {"DEBUG getLinuxOSVer: ESXi Found"}},
        {"ESX 3",
         ScenarioFile("/etc/vmware-release", "VMware ESX Server 3.5.0 build-64607"),
         6,
         true,
         {"DEBUG getLinuxOSVer: ESX 3 Found"}},
        {"ESX 4.1",
         ScenarioFile("/etc/vmware-release", "VMware ESX 4.1 (Kandinsky)"),
         11,
         true,
         {"DEBUG getLinuxOSVer: ESX 4 Found"}},
        {"ESX 4",
         ScenarioFile("/etc/vmware-release", "VMware ESX 4.0 (Kandinsky)"),
         8,
         true,
         {"DEBUG getLinuxOSVer: ESX 4 Found"}},
        {"other VMware release, then Red Hat",
         ScenarioFile("/etc/vmware-release", "vmware esx 4.0") +
             ScenarioFile("/etc/redhat-release", "Red Hat Enterprise Linux Server release 5.4"),
         0,
         true,
         {"DEBUG getLinuxOSVer: Unrecognized VMWare Found", "DEBUG getLinuxOSVer REDHAT found"}},
        {"Red Hat",
         ScenarioFile("/etc/redhat-release", "Red Hat Enterprise Linux release 8.6"),
         0,
         true,
         {"DEBUG getLinuxOSVer REDHAT found"}},
        {"Red Hat and XenServer",
         ScenarioFile("/etc/redhat-release", "XenServer release 5.6 (Red Hat based)"),
         0,
         true,
         {"DEBUG getLinuxOSVer REDHAT found"}},
        {"XenServer",
         ScenarioFile("/etc/redhat-release", "XenServer release 6.5.0-90233c (xenenterprise)"),
         4,
         true,
         {"DEBUG getLinuxOSVer Xenserver found"}},
        {"newer own environment",
         centOs + newUmi,
         9,
         true,
         {"DEBUG getLinuxOSVer: NEW UMI(RPX) Found"}},
        {"/wmb-version without its marker skips CentOS", centOs + newUmiWithoutMarker, 0, true, {}},
        {"... and goes on with SUSE",
         centOs + newUmiWithoutMarker + suse,
         1,
         true,
         {"DEBUG getLinuxOSVer: SLES Found"}},
        {"CentOS", centOs, 12, true, {"DEBUG getLinuxOSVer CentOS found"}},
        {"other Red Hat style release",
         ScenarioFile("/etc/redhat-release", "Fedora release 38"),
         0,
         true,
         {}},
        {"SUSE, whose release file is not read",
         suse,
         1,
         false,
         {"DEBUG getLinuxOSVer: SLES Found"}},
        {"WMB",
         ScenarioFile("/VERSION", "NAME=wmb\nWMB_MAJOR_VERSION=3"),
         5,
         true,
         {"DEBUG getLinuxOSVer: UMI(WMB) Found"}},
        {"WMB marker after a line longer than the buffer",
         ScenarioFile("/VERSION", longLine + "WMB_MAJOR_VERSION=3"),
         5,
         true,
         {"DEBUG getLinuxOSVer: UMI(WMB) Found"}},
        {"/VERSION without its marker, then RPX",
         ScenarioFile("/VERSION", "NAME=wmb") + ScenarioFile("/VER_INFO", "RPX_MAJOR_VERSION=4"),
         5,
         true,
         {"DEBUG getLinuxOSVer: UMI(RPX) Found"}},
        {"RPX",
         ScenarioFile("/VER_INFO", "RPX_MAJOR_VERSION=4"),
         5,
         true,
         {"DEBUG getLinuxOSVer: UMI(RPX) Found"}},
        {"/VER_INFO without its marker, a line longer than the buffer",
         ScenarioFile("/VER_INFO", longLine + longLine),
         0,
         true,
         {}},
        {"no release file", "", 0, false, {}},
    };
    for (const RecognitionRow& row : rows) {
        SCOPED_TRACE(row.what);
        Lines expected = {"first " + std::to_string(row.platform),
                          "second " + std::to_string(row.platform),
                          std::string("first call opens ") + (row.opensFiles ? "files" : "nothing"),
                          "second call touches nothing"};
        expected.insert(expected.end(), row.messages.begin(), row.messages.end());
        EXPECT_EQ(RunInFreshProcess([&] { return Recognise(row.scenario); }), expected);
    }
}

namespace {

std::string Copy(const std::string& file, const std::string& directory) {
    return "cp -fH " + file + " " + directory + " > /dev/null 2>&1";
}

std::string Chmod(const std::string& file, const std::string& directory) {
    return "chmod 755 " + directory + "/" + file + "  > /dev/null 2>&1";
}

const std::string kReload = "/sbin/udevadm control --reload-rules > /dev/null 2>&1";
const std::string kHalStatus = "/etc/init.d/haldaemon status";
const std::string kHalStop = "/etc/init.d/haldaemon stop > /dev/null 2>&1";
const std::string kHalStart = "/etc/init.d/haldaemon start > /dev/null 2>&1";

Lines CopiesInto(const std::string& directory) {
    Lines commands;
    for (const std::string& file : kRuleFiles) {
        commands.push_back(Copy(file, directory));
        commands.push_back(Chmod(file, directory));
    }
    return commands;
}

// The rule files found in the machine's rule directories, and whether each is
// the package's file, made executable.
Lines RuleFilesInPlace() {
    Lines found;
    for (const std::string& directory : kRulesDirectories) {
        for (const std::string& file : kRuleFiles) {
            const std::string path = sim::SandboxPath(directory + file);
            if (std::filesystem::exists(path)) {
                const bool same = ReadAll(path) == ReadAll(KOR_PACKAGE_DIR "/" + file);
                const auto mode = std::filesystem::status(path).permissions();
                const bool executable = mode == static_cast<std::filesystem::perms>(0755);
                found.push_back("in place: " + directory + file + (same ? "" : " (altered)") +
                                (executable ? "" : " (not mode 755)"));
            }
        }
    }
    return found;
}

// The rule files in place, and the marker of a HAL daemon an update stopped.
Lines FilesInPlace() {
    Lines found = RuleFilesInPlace();
    for (const char* marker :
         {RunTimeFiles::kHalStoppedMarker, RunTimeFiles::kHalStoppedMarkerWithoutRun}) {
        if (std::filesystem::exists(sim::SandboxPath(marker)))
            found.push_back(std::string("in place: ") + marker);
    }
    return found;
}

std::string LastOf(const Lines& lines) {
    return lines.empty() ? "(nothing logged)" : lines.back();
}

void Append(Lines& to, const Lines& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

// Recognises the platform, installs and uninstalls the rules, and reports
// each step's result, commands, files in place and last message.
Lines InstallAndUninstall(const std::string& scenario) {
    sim::Reset(scenario);
    kortest::TemporaryDirectory packageDirectory;
    packageDirectory.Enter();
    for (const std::string& file : kRuleFiles) {
        packageDirectory.Write(file, ReadAll(KOR_PACKAGE_DIR "/" + file));
    }
    kortest::KorLog log;
    CLinuxUtils::GetLinuxOSPlatform();
    log.Take();
    const std::size_t commandsBefore = sim::ShellCommands().size();

    Lines report = {std::string("install ") + (CLinuxUtils::udevhalInstall() ? "true" : "false")};
    const Lines afterInstall = sim::ShellCommands();
    report.insert(report.end(), afterInstall.begin() + static_cast<long>(commandsBefore),
                  afterInstall.end());
    Append(report, FilesInPlace());
    report.push_back(LastOf(log.Take()));

    report.push_back(std::string("uninstall ") +
                     (CLinuxUtils::udevhalUninstall() ? "true" : "false"));
    const Lines afterUninstall = sim::ShellCommands();
    report.insert(report.end(), afterUninstall.begin() + static_cast<long>(afterInstall.size()),
                  afterUninstall.end());
    Append(report, FilesInPlace());
    report.push_back(LastOf(log.Take()));
    return report;
}

}  // namespace

TEST(CLinuxUtilsTest, RulesLandInAndLeaveThePlatformsDirectories) {
    const std::string redHat = ScenarioFile("/etc/redhat-release", "Red Hat Enterprise Linux 8");
    const std::string suse = ScenarioFile("/etc/SuSE-release", "SUSE Linux Enterprise Server 11");
    const std::string centOs = ScenarioFile("/etc/redhat-release", "CentOS release 6.5 (Final)");
    const std::string installed = "DEBUG Udev rule successfully Installed";
    const std::string notInstalled = "DEBUG Udev rule is not Installed";
    const std::string uninstalled = "DEBUG Udev  successfully Uninstalled";
    const std::string halMarker = std::string("in place: ") + RunTimeFiles::kHalStoppedMarker;
    const Lines inEtc = {"in place: /etc/udev/rules.d/98-secupdusb.rules",
                         "in place: /etc/udev/rules.d/00-secupd-tessel.rules"};
    Lines everywhere;
    for (const std::string& directory : kRulesDirectories) {
        for (const std::string& file : kRuleFiles) {
            everywhere.push_back("in place: " + directory + file);
        }
    }
    const auto lines = [](std::initializer_list<Lines> parts) {
        Lines all;
        for (const Lines& part : parts) {
            Append(all, part);
        }
        return all;
    };
    const Lines allDirectories = lines({CopiesInto("/etc/udev/rules.d/"),
                                        {kReload},
                                        CopiesInto("/lib/udev/rules.d/"),
                                        CopiesInto("/run/udev/rules.d/"),
                                        {kReload}});

    const struct {
        const char* what;
        std::string scenario;
        Lines report;
    } rows[] = {
        {"Red Hat", redHat,
         lines({{"install true"},
                CopiesInto("/etc/udev/rules.d/"),
                {kReload, kReload},
                inEtc,
                {installed, "uninstall true", kReload, kReload, uninstalled}})},
        {"Red Hat, a rule that cp cannot copy",
         redHat + "command " + Copy(kRuleFiles[0], "/etc/udev/rules.d/") + " => exit 1",
         lines({{"install false", Copy(kRuleFiles[0], "/etc/udev/rules.d/"),
                 Copy(kRuleFiles[1], "/etc/udev/rules.d/"),
                 Chmod(kRuleFiles[1], "/etc/udev/rules.d/"), kReload, kReload,
                 "in place: /etc/udev/rules.d/00-secupd-tessel.rules", notInstalled,
                 "uninstall true", kReload, kReload, uninstalled}})},
        {"Red Hat leaves a running HAL daemon alone", redHat + "haldaemon = running",
         lines({{"install true", kHalStatus},
                CopiesInto("/etc/udev/rules.d/"),
                {kReload, kReload},
                inEtc,
                {installed, "uninstall true", kReload, kReload, uninstalled}})},
        {"SUSE stops the running HAL daemon and starts it again", suse + "haldaemon = running",
         lines({{"install true", kHalStatus},
                CopiesInto("/etc/udev/rules.d/"),
                {kReload, kHalStop},
                inEtc,
                {halMarker, installed, "uninstall true", kReload, kHalStart, uninstalled}})},
        {"SUSE with the HAL daemon a killed update left stopped",
         suse + "haldaemon = stopped\n" + ScenarioFile(RunTimeFiles::kHalStoppedMarker, "stopped"),
         lines({{"install true", kHalStatus},
                CopiesInto("/etc/udev/rules.d/"),
                {kReload, kHalStop},
                inEtc,
                {halMarker, installed, "uninstall true", kReload, kHalStart, uninstalled}})},
        {"SUSE with the HAL daemon stopped", suse + "haldaemon = stopped",
         lines({{"install false", kHalStatus},
                CopiesInto("/etc/udev/rules.d/"),
                {kReload},
                inEtc,
                {notInstalled, "uninstall true", kReload, uninstalled}})},
        {"SUSE without a HAL daemon", suse,
         lines({{"install false"},
                CopiesInto("/etc/udev/rules.d/"),
                {kReload},
                inEtc,
                {notInstalled, "uninstall true", kReload, uninstalled}})},
        {"CentOS", centOs,
         lines({{"install false"},
                allDirectories,
                everywhere,
                {notInstalled, "uninstall true", kReload, kReload, uninstalled}})},
        {"ESXi", "uname.sysname = VMkernel",
         lines({{"install false"},
                allDirectories,
                everywhere,
                {notInstalled, "uninstall true", kReload, kReload, uninstalled}})},
        {"not root", "root = no",
         lines({{"install false"},
                allDirectories,
                everywhere,
                {notInstalled, "uninstall true", kReload, kReload, uninstalled}})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(RunInFreshProcess([&] { return InstallAndUninstall(row.scenario); }), row.report);
    }
}

TEST(CLinuxUtilsTest, HalDaemonCountsAsRunningOnlyWhenItsScriptSaysSo) {
    const struct {
        const char* what;
        std::string scenario;
        bool running;
        Lines commands;
    } rows[] = {
        {"running", "haldaemon = running", true, {kHalStatus}},
        {"stopped", "haldaemon = stopped", false, {kHalStatus}},
        {"no init script", "", false, {}},
        {"script says not running",
         "haldaemon = stopped\ncommand " + kHalStatus +
             " => exit 3 output haldaemon is not running",
         false,
         {kHalStatus}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Lines report = RunInFreshProcess([&] {
            sim::Reset(row.scenario);
            const bool first = CLinuxUtils::IsHalDaemonRunning();
            const bool second = CLinuxUtils::IsHalDaemonRunning();
            Lines seen = {std::to_string(first) + " " + std::to_string(second)};
            Append(seen, sim::ShellCommands());
            return seen;
        });
        const std::string answer = row.running ? "1 1" : "0 0";
        // Once found running it is not asked again; otherwise every call asks.
        Lines expected = {answer};
        Append(expected, row.commands);
        if (!row.running) {
            Append(expected, row.commands);
        }
        EXPECT_EQ(report, expected);
    }
}

TEST(CLinuxUtilsTest, RestartUdevRulesUsesWhicheverToolExists) {
    const struct {
        const char* what;
        std::string scenario;
        Lines commands;
        Lines messages;
    } rows[] = {
        {"udevadm",
         "",
         {kReload},
         {"DEBUG CLinuxUtils::RestartUdevRules()", "DEBUG " + kReload,
          "DEBUG RestartUdevRules restarted "}},
        {"udevcontrol",
         "remove /sbin/udevadm\nexecutable /sbin/udevcontrol",
         {"/sbin/udevcontrol reload_rules > /dev/null 2>&1"},
         {"DEBUG CLinuxUtils::RestartUdevRules()",
          "DEBUG /sbin/udevcontrol reload_rules > /dev/null 2>&1",
          "DEBUG RestartUdevRules restarted "}},
        {"neither", "remove /sbin/udevadm", {}, {"DEBUG CLinuxUtils::RestartUdevRules()"}},
        {"udevadm exits non-zero: warned, not failed",
         "command " + kReload + " => exit 2",
         {kReload},
         {"DEBUG CLinuxUtils::RestartUdevRules()", "DEBUG " + kReload,
          "WARN Command " + kReload + " ended with status 512 (exit code 2)",
          "DEBUG RestartUdevRules restarted "}},
    };
    kortest::KorLog log;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset(row.scenario);
        log.Take();
        EXPECT_TRUE(CLinuxUtils::RestartUdevRules());
        EXPECT_EQ(sim::ShellCommands(), row.commands);
        EXPECT_EQ(log.Take(), row.messages);
    }
}

// A rule file is published into the system's rule directories readable by
// all: only a regular file of the package is (cp -H reads what a link names,
// and would hang on a FIFO or fill /etc from a device).
TEST(CLinuxUtilsTest, CopyFileNeedsTheDirectoryAndASuccessfulCopyOfAPackageFile) {
    const std::string copy = Copy("98-secupdusb.rules", "/etc/udev/rules.d/");
    const std::string chmod = Chmod("98-secupdusb.rules", "/etc/udev/rules.d/");
    kortest::TemporaryDirectory elsewhere;
    const std::string secret = elsewhere.Write("secret", "not for everyone\n");
    using Lay = std::function<void(const std::string&)>;
    struct Row {
        std::string what;
        std::string file;
        std::string directory;
        std::string scenario;
        bool copied;
        Lines commands;
        Lines messages;
        Lay lay = nullptr;  // of the file in the package; by default a rule
    };
    std::vector<Row> rows = {
        {"rule file",
         "98-secupdusb.rules ",
         "/etc/udev/rules.d/",
         "",
         true,
         {copy, chmod},
         {"DEBUG " + copy, "DEBUG " + chmod}},
        {"missing directory",
         "98-secupdusb.rules ",
         "/etc/udev/none.d/",
         "",
         false,
         {},
         {"DEBUG Input Path does not exists /etc/udev/none.d/"}},
        {"name with a blank and a semicolon (the machine takes the quoted copy as given)",
         "my rules;reboot ",
         "/etc/udev/rules.d/",
         "command cp -fH 'my rules;reboot' /etc/udev/rules.d/ > /dev/null 2>&1 => exit 0\n"
         "command chmod 755 '/etc/udev/rules.d//my rules;reboot'  > /dev/null 2>&1 => exit 0",
         true,
         {"cp -fH 'my rules;reboot' /etc/udev/rules.d/ > /dev/null 2>&1",
          "chmod 755 '/etc/udev/rules.d//my rules;reboot'  > /dev/null 2>&1"},
         {"DEBUG cp -fH 'my rules;reboot' /etc/udev/rules.d/ > /dev/null 2>&1",
          "DEBUG chmod 755 '/etc/udev/rules.d//my rules;reboot'  > /dev/null 2>&1"}},
        {"cp exits non-zero: not copied",
         "98-secupdusb.rules ",
         "/etc/udev/rules.d/",
         "command " + copy + " => exit 1",
         false,
         {copy},
         {"DEBUG " + copy, "WARN Command " + copy + " ended with status 256 (exit code 1)",
          "DEBUG CopyFile fdi file failed"}},
        {"chmod exits non-zero: copied, with a warning",
         "98-secupdusb.rules ",
         "/etc/udev/rules.d/",
         "command " + chmod + " => exit 1",
         true,
         {copy, chmod},
         {"DEBUG " + copy, "DEBUG " + chmod,
          "WARN Command " + chmod + " ended with status 256 (exit code 1)"}},
        {"a link within the package",
         "98-secupdusb.rules ",
         "/etc/udev/rules.d/",
         "",
         true,
         {copy, chmod},
         {"DEBUG " + copy, "DEBUG " + chmod},
         [](const std::string& path) {
             std::ofstream("rules.real") << "rule\n";
             ASSERT_EQ(symlink("rules.real", path.c_str()), 0);
         }},
        {"a link out of the package",
         "98-secupdusb.rules ",
         "/etc/udev/rules.d/",
         "",
         false,
         {},
         {"ERROR Udev rule file 98-secupdusb.rules leads out of the package directory; not "
          "copied."},
         [&secret](const std::string& path) {
             ASSERT_EQ(symlink(secret.c_str(), path.c_str()), 0);
         }},
    };
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        rows.push_back(
            {planted.typeName,
             "98-secupdusb.rules ",
             "/etc/udev/rules.d/",
             "",
             false,
             {},
             {"ERROR Udev rule file 98-secupdusb.rules is " + planted.typeName +
              ", not a regular file; not copied."},
             [&planted](const std::string& path) { kortest::Plant(path, planted.kind); }});
    }
    kortest::TemporaryDirectory packageDirectory;
    packageDirectory.Enter();
    kortest::KorLog log;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset(row.scenario);
        const std::string file = row.file.substr(0, row.file.size() - 1);
        std::filesystem::remove_all(packageDirectory.Join(file));
        if (row.lay)
            row.lay(file);
        else
            packageDirectory.Write(file, "rule\n");
        const kortest::HangGuard guard;
        log.Take();
        EXPECT_EQ(CLinuxUtils::CopyFile(row.file, row.directory), row.copied);
        EXPECT_EQ(sim::ShellCommands(), row.commands);
        EXPECT_EQ(log.Take(), row.messages);
    }
}
