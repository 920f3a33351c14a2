#include "CPyalodContents.h"

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CGPGPyalodContents.h"
#include "CSHAPyalodContents.h"
#include "CatalogueTestSupport.h"
#include "KorLogLines.h"
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
    KorLogLines log;
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

TEST(PayloadCollection, MissingPackageFilesAndEmptyPayloadsFailWithTheirCodes) {
    struct Row {
        const char* what;
        bool gpg;
        std::function<void(const kortest::TemporaryDirectory&)> prepare;
        int code;
        Lines collected;  // base names collected before the failure
    };
    const auto write = [](const char* name, const char* content) {
        return [=](const kortest::TemporaryDirectory& package) { package.Write(name, content); };
    };
    const auto both = [](auto first, auto second) {
        return [=](const kortest::TemporaryDirectory& package) {
            first(package);
            second(package);
        };
    };
    const auto descriptor = write("package.xml", "<SoftwareComponent/>\n");
    const auto payloadFile = write("payload/fw.bin", "firmware");
    const Row rows[] = {
        {"no package.xml", false, payloadFile, 74, {}},
        {"empty package.xml", false, both(write("package.xml", ""), payloadFile), 74, {}},
        {"no signature", true, both(descriptor, payloadFile), 74, {"package.xml"}},
        {"empty signature",
         true,
         both(both(descriptor, write("package.xml.sign", "")), payloadFile),
         74,
         {"package.xml"}},
        {"no payload directory", false, descriptor, 75, {"package.xml"}},
        {"empty payload directory",
         false,
         both(descriptor,
              [](const kortest::TemporaryDirectory& package) {
                  fs::create_directory(package.Join("payload"));
              }),
         75,
         {"package.xml"}},
        {"only a subdirectory",
         false,
         both(descriptor, write("payload/sub/fw.bin", "x")),
         75,
         {"package.xml"}},
    };
    for (const Row& row : rows) {
        PayloadWorkDir work;
        row.prepare(work.Package());
        std::unique_ptr<FirmwareFramework::CPyalodContents> payload;
        if (row.gpg)
            payload = std::make_unique<PayloadInPackage<CGPGPyalodContents>>(work.Package().Path());
        else
            payload = std::make_unique<PayloadInPackage<CSHAPyalodContents>>(work.Package().Path());
        ExpectFailure([&] { payload->CollectUpdateContents(); }, row.code);
        Lines collected;
        for (const std::string& path : payload->GetContents())
            collected.push_back(FirmwareFramework::GetBasename(path));
        EXPECT_EQ(collected, row.collected) << row.what;
    }
}

TEST(PayloadCollection, GpgCarriesTheDescriptorAndItsSignatureFirst) {
    PayloadWorkDir work;
    work.WritePackage({{"fw.bin", "firmware"}}, true);
    PayloadInPackage<CGPGPyalodContents> payload(work.Package().Path());
    payload.CollectUpdateContents();
    EXPECT_EQ(payload.GetContents(),
              (Lines{work.Package().Join("package.xml"), work.Package().Join("package.xml.sign"),
                     work.Package().Join("/payload/fw.bin")}));
}

TEST(Basename, IsTheTextAfterTheLastSlash) {
    const std::pair<const char*, const char*> rows[] = {
        {"/opt/pkg//payload/fw.bin", "fw.bin"}, {"fw.bin", ""}, {"/a/b/", ""}, {"/a/b", "b"}};
    for (const auto& [path, name] : rows)
        EXPECT_EQ(FirmwareFramework::GetBasename(path), name) << path;
}

}  // namespace
