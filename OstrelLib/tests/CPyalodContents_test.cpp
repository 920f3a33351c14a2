#include "CPyalodContents.h"

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <kortest/KorLog.h>
#include <kortest/PlantedFiles.h>
#include "CGPGPyalodContents.h"
#include "CSHAPyalodContents.h"
#include "CatalogueTestSupport.h"
#include "PayloadTestSupport.h"

namespace {

namespace fs = std::filesystem;
using cataloguetest::ExpectFailure;
using FirmwareFramework::CGPGPyalodContents;
using FirmwareFramework::CSHAPyalodContents;
using payloadtest::PayloadInPackage;
using payloadtest::PayloadWorkDir;
using Lines = std::vector<std::string>;

TEST(PayloadCollection, PartitionSizeFollowsTheTotalOfEveryFile) {
    const long long descriptor = 21;  // the size of the package.xml written
    const struct {
        long long payloadBytes;
        long long size;
        Lines log;
    } rows[] = {
        {10, 1146880, {}},
        {65535 - descriptor, 1146880, {}},
        {65536 - descriptor, 1146880, {}},
        {100000 - descriptor, 1179648, {}},
        {306184192 - 1081344 + 32767 - descriptor, 306184192, {}},
        {400LL * 1048576 - descriptor,
         306184192,
         {"WARN Total size of update content (420511744) is greater than max limit 292 MB."}},
    };
    PayloadWorkDir work;
    kortest::KorLog log;
    for (const auto& row : rows) {
        work.WritePackage({{"fw.bin", ""}});
        fs::resize_file(work.Package().Join("payload/fw.bin"),
                        static_cast<std::uintmax_t>(row.payloadBytes));
        PayloadInPackage<CSHAPyalodContents> payload(work.Package().Path());
        payload.CollectUpdateContents();
        EXPECT_EQ(payload.GetTotalSize(), row.size) << row.payloadBytes;
        EXPECT_EQ(payload.GetContents(), (Lines{work.Package().Join("package.xml"),
                                                work.Package().Join("/payload/fw.bin")}));
        Lines warnings;
        for (const std::string& line : log.Take())
            if (line.rfind("WARN", 0) == 0)
                warnings.push_back(line);
        EXPECT_EQ(warnings, row.log) << row.payloadBytes;
    }
}

// Names are made of bytes the library's text decodes laxly: overlong forms
// of ".", "/" and "A", a Latin-1 letter, a pair written as two surrogates, a
// sequence cut short. Read through that text they would name other files
// (outside the payload directory, in a subdirectory, the package directory,
// another payload file) or none.
TEST(PayloadCollection, MissingPackageFilesEmptyPayloadsAndUnreadableNamesFailWithTheirCodes) {
    const std::string descriptor = "<SoftwareComponent/>\n";
    const struct {
        const char* what;
        bool gpg;
        std::vector<std::pair<std::string, std::string>>
            files;  // a name ending in "/": a directory
        int code;
        Lines collected;  // base names collected before the failure
        // The payload name the ERROR line names, hex-escaped.
        const char* refusedName = nullptr;
    } rows[] = {
        {"no package.xml", false, {{"payload/fw.bin", "x"}}, 74, {}},
        {"empty package.xml", false, {{"package.xml", ""}, {"payload/fw.bin", "x"}}, 74, {}},
        {"no signature",
         true,
         {{"package.xml", descriptor}, {"payload/fw.bin", "x"}},
         74,
         {"package.xml"}},
        {"empty signature",
         true,
         {{"package.xml", descriptor}, {"package.xml.sign", ""}, {"payload/fw.bin", "x"}},
         74,
         {"package.xml"}},
        {"no payload directory", false, {{"package.xml", descriptor}}, 75, {"package.xml"}},
        {"empty payload directory",
         false,
         {{"package.xml", descriptor}, {"payload/", ""}},
         75,
         {"package.xml"}},
        {"only a subdirectory",
         false,
         {{"package.xml", descriptor}, {"payload/sub/fw.bin", "x"}},
         75,
         {"package.xml"}},
        {"an overlong ../ out of the payload directory",
         false,
         {{"package.xml", descriptor},
          {"secret", "not for the controller"},
          {"payload/\xc0\xae\xc0\xae\xc0\xafsecret", "x"}},
         31,
         {"package.xml"},
         R"(\xc0\xae\xc0\xae\xc0\xafsecret)"},
        {"an overlong .. for the package directory",
         true,
         {{"package.xml", descriptor},
          {"package.xml.sign", "signature"},
          {"payload/fw.bin", "x"},
          {"payload/\xc0\xae\xc0\xae", "x"}},
         31,
         {"package.xml", "package.xml.sign"},
         R"(\xc0\xae\xc0\xae)"},
        {"an overlong . for the payload directory",
         false,
         {{"package.xml", descriptor}, {"payload/\xc0\xae", "x"}},
         31,
         {"package.xml"},
         R"(\xc0\xae)"},
        {"an overlong / into a subdirectory",
         false,
         {{"package.xml", descriptor},
          {"payload/sub/notes.bin", "x"},
          {"payload/sub\xc0\xafnotes.bin", "x"}},
         31,
         {"package.xml"},
         "sub\\xc0\\xafnotes.bin"},
        {"an overlong letter for another payload file",
         false,
         {{"package.xml", descriptor}, {"payload/A", "x"}, {"payload/\xc1\x81", "y"}},
         31,
         {"package.xml"},
         R"(\xc1\x81)"},
        {"a Latin-1 name",
         false,
         {{"package.xml", descriptor}, {"payload/latin\xe9.bin", "x"}},
         31,
         {"package.xml"},
         "latin\\xe9.bin"},
        {"a pair written as two surrogates",
         false,
         {{"package.xml", descriptor}, {"payload/\xed\xa0\x80\xed\xb0\x80.bin", "x"}},
         31,
         {"package.xml"},
         R"(\xed\xa0\x80\xed\xb0\x80.bin)"},
        {"a sequence cut short",
         false,
         {{"package.xml", descriptor}, {"payload/fw.bin\xc3", "x"}},
         31,
         {"package.xml"},
         "fw.bin\\xc3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PayloadWorkDir work;
        for (const auto& [name, content] : row.files)
            if (name.back() == '/')
                fs::create_directories(work.Package().Join(name));
            else
                work.Package().Write(name, content);
        std::unique_ptr<FirmwareFramework::CPyalodContents> payload;
        if (row.gpg)
            payload = std::make_unique<PayloadInPackage<CGPGPyalodContents>>(work.Package().Path());
        else
            payload = std::make_unique<PayloadInPackage<CSHAPyalodContents>>(work.Package().Path());
        kortest::KorLog log;
        ExpectFailure([&] { payload->CollectUpdateContents(); }, row.code);
        Lines collected;
        for (const std::string& path : payload->GetContents())
            collected.push_back(FirmwareFramework::GetBasename(path));
        EXPECT_EQ(collected, row.collected);
        if (row.refusedName != nullptr) {
            const Lines logged = log.Take();
            const std::string refusal = "ERROR Update content " + work.Package().Join("/payload") +
                                        "/" + row.refusedName +
                                        " is refused: its name does not decode back to the "
                                        "same bytes.";
            EXPECT_NE(std::find(logged.begin(), logged.end(), refusal), logged.end()) << refusal;
        }
    }
}

// What is no regular file (or a link to one) cannot be copied: the package is
// refused before the controller is asked for a partition, the descriptor with
// the code of a missing one, a payload file with that of a copy that fails.
TEST(PayloadCollection, FilesThatAreNoRegularFilesAreRefusedBeforeAnythingIsCopied) {
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        for (const auto& [file, code] : {std::pair<std::string, int>{"package.xml", 74},
                                         std::pair<std::string, int>{"payload/fw.bin", 31}}) {
            SCOPED_TRACE(planted.typeName + " as " + file);
            // A subdirectory of the payload is passed over, whatever its name.
            if (planted.kind == kortest::Planted::Directory && file != "package.xml")
                continue;
            PayloadWorkDir work;
            work.WritePackage({{"fw.bin", "firmware"}, {"notes.txt", "notes"}});
            const std::string path = work.Package().Join(file);
            kortest::Plant(path, planted.kind);
            kortest::KorLog log;
            const kortest::HangGuard guard;
            PayloadInPackage<CSHAPyalodContents> payload(work.Package().Path());
            ExpectFailure([&] { payload.CollectUpdateContents(); }, code);
            const Lines logged = log.Take();
            EXPECT_NE(
                std::find(logged.begin(), logged.end(),
                          "ERROR Package file " +
                              (file == "package.xml" ? path : work.Package().Join("/" + file)) +
                              " is " + planted.typeName + ", not a regular file."),
                logged.end());
        }
    }
}

TEST(GpgPayload, CarriesTheDescriptorAndItsSignatureAndSendsNothing) {
    sim::Reset("dir /tmp/SECUPD");
    PayloadWorkDir work;
    work.WritePackage({{"fw.bin", "firmware"}}, true);
    PayloadInPackage<CGPGPyalodContents> payload(work.Package().Path());
    payload.CollectUpdateContents();
    EXPECT_EQ(payload.GetContents(),
              (Lines{work.Package().Join("package.xml"), work.Package().Join("package.xml.sign"),
                     work.Package().Join("/payload/fw.bin")}));
    payload.UploadUpdateContents("/tmp/SECUPD");
    for (const char* name : {"package.xml", "package.xml.sign", "fw.bin"})
        EXPECT_TRUE(fs::exists(sim::SandboxPath(std::string("/tmp/SECUPD/payload/") + name)))
            << name;
    EXPECT_FALSE(fs::exists(sim::SandboxPath("/tmp/SECUPD/input_secupd.xml")));
    EXPECT_TRUE(sim::IpmiRequests().empty());
}

TEST(Basename, IsTheTextAfterTheLastSlash) {
    const std::pair<const char*, const char*> rows[] = {
        {"/opt/pkg//payload/fw.bin", "fw.bin"}, {"fw.bin", ""}, {"/a/b/", ""}, {"/a/b", "b"}};
    for (const auto& [path, name] : rows)
        EXPECT_EQ(FirmwareFramework::GetBasename(path), name) << path;
}

}  // namespace
