#include "CSHAPyalodContents.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <simmachine/SimMachine.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <kortest/KorLog.h>
#include "CIPMICommandManagement.h"
#include "COstrelSession.h"
#include "CatalogueTestSupport.h"
#include "PayloadTestSupport.h"
#include "Sha256sumTool.h"

namespace {

namespace fs = std::filesystem;
using cataloguetest::ExpectFailure;
using FirmwareFramework::CSHAPyalodContents;
using IPMIFramework::CIPMICommandManagement;
using payloadtest::PayloadInPackage;
using payloadtest::PayloadWorkDir;
using Lines = std::vector<std::string>;

const std::string kMountPoint = "/tmp/SECUPD";

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The manifest's Source texts as an XML parser reads them; empty when the
// document is not well-formed.
Lines ParsedSources(const std::string& manifest) {
    xmlDocPtr document = xmlReadMemory(manifest.data(), static_cast<int>(manifest.size()),
                                       "manifest.xml", nullptr, XML_PARSE_NONET);
    Lines sources;
    if (document == nullptr)
        return sources;
    for (xmlNodePtr file = xmlDocGetRootElement(document)->children; file; file = file->next)
        for (xmlNodePtr field = file->children; field; field = field->next)
            if (field->type == XML_ELEMENT_NODE &&
                std::string(reinterpret_cast<const char*>(field->name)) == "Source") {
                xmlChar* text = xmlNodeGetContent(field);
                sources.emplace_back(reinterpret_cast<const char*>(text));
                xmlFree(text);
            }
    xmlFreeDoc(document);
    return sources;
}

// The manifest digest as the controller received it: the ten characters at
// request positions 8 to 17 of every piece, zero padding dropped.
std::string DigestOnTheWire(Lines& names) {
    const std::vector<std::vector<uint8_t>> requests = sim::IpmiRequests();
    const Lines allNames = sim::IpmiRequestNames();
    std::string digest;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (allNames[i].rfind("SecureStage", 0) != 0)
            continue;
        names.push_back(allNames[i]);
        if (allNames[i] != "SecureStageXMLHashTransferSHA")
            continue;
        EXPECT_EQ(requests[i].size(), 17u);
        for (std::size_t position = 8; position <= 17 && position <= requests[i].size(); ++position)
            if (requests[i][position - 1] != 0)
                digest += static_cast<char>(requests[i][position - 1]);
    }
    return digest;
}

class ShaPayload : public ::testing::Test {
protected:
    void Start(const std::string& scenario = "") {
        sim::Reset("dir " + kMountPoint + "\n" + scenario);
        m_catalogue = std::make_unique<CIPMICommandManagement>();
        m_session.reset(SessionFramework::COstrelSession::GetOstrelSession(m_catalogue.get()));
    }
    void TearDown() override {
        m_session.reset();
        m_catalogue.reset();
    }

    std::unique_ptr<PayloadInPackage<CSHAPyalodContents>> Collected() {
        auto payload = std::make_unique<PayloadInPackage<CSHAPyalodContents>>(
            m_work.Package().Path(), m_catalogue.get());
        payload->CollectUpdateContents();
        return payload;
    }

    PayloadWorkDir m_work;
    kortest::KorLog m_log;
    std::unique_ptr<CIPMICommandManagement> m_catalogue;
    std::unique_ptr<SessionFramework::COstrelSession> m_session;
};

TEST_F(ShaPayload, ManifestListsEveryFileWithItsDigestByteForByte) {
    Start();
    m_work.WritePackage({{"fw.bin", std::string(3000, '\x5a')}, {"notes.txt", "release notes\n"}});
    auto payload = Collected();
    std::string digest;
    payload->GenerateUpdateXML(kMountPoint, digest);

    const Lines contents = payload->GetContents();
    ASSERT_EQ(contents.size(), 3u);
    ASSERT_EQ(FirmwareFramework::GetBasename(contents[0]), "package.xml");
    std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OSTREL_Update>\n";
    for (std::size_t i = 0; i < contents.size(); ++i)
        expected += "\t<File order=\"" + std::to_string(i + 1) + "\">\n\t\t<Hash>" +
                    Sha256sumOf(contents[i]) + "</Hash>\n\t\t<Source>payload/" +
                    FirmwareFramework::GetBasename(contents[i]) +
                    "</Source>\n\t\t<Mode>filecopy</Mode>\n\t\t<Algorithm>SHA256</Algorithm>\n\t"
                    "</File>";
    expected += "</OSTREL_Update>";
    const std::string manifestPath = sim::SandboxPath(kMountPoint + "/input_secupd.xml");
    EXPECT_EQ(ReadFile(manifestPath), expected);
    EXPECT_EQ(digest, Sha256sumOf(manifestPath));
}

TEST_F(ShaPayload, HostileNamesArriveIntactAndTheDigestGoesOutInSevenPieces) {
    Start();
    const Lines names = {"with space.bin",           "quote\"d.bin",
                         "dollar$(touch pwned).bin", "back`id`tick.bin",
                         "notes & <draft>.txt",      "single'quote;|.bin",
                         "-starts-with-dash",        "tab\tline\nfeed\rreturn.bin",
                         "caf\xc3\xa9.bin",          "parcel \xf0\x9f\x93\xa6.bin"};
    for (std::size_t i = 0; i < names.size(); ++i)
        m_work.Package().Write("payload/" + names[i], "content of " + std::to_string(i));
    // A subdirectory is passed over, whatever its name's bytes.
    fs::create_directories(m_work.Package().Join("payload/\xc0\xae\xc0\xae\xc0\xafsub"));
    m_work.WritePackage({});
    auto payload = Collected();
    const Lines shellBefore = sim::ShellCommands();
    payload->UploadUpdateContents(kMountPoint);

    // No shell saw a name: the upload's only command line is the flush.
    Lines shellAfter = sim::ShellCommands();
    shellAfter.erase(shellAfter.begin(),
                     shellAfter.begin() + static_cast<std::ptrdiff_t>(shellBefore.size()));
    EXPECT_EQ(shellAfter, Lines{"sync"});
    EXPECT_FALSE(fs::exists(sim::SandboxPath("/pwned")));

    // Every copy, then the manifest that lists them, then the flush.
    std::size_t lastCopy = 0, firstManifest = 0, lastManifest = 0, flush = 0;
    const std::vector<sim::Event> trace = sim::Trace();
    for (std::size_t i = 1; i <= trace.size(); ++i) {
        const sim::Event& event = trace[i - 1];
        const std::string path = event.Field("path");
        if (event.kind == "file" && path.rfind(kMountPoint + "/payload/", 0) == 0)
            lastCopy = i;
        if (event.kind == "file" && path == kMountPoint + "/input_secupd.xml") {
            firstManifest = firstManifest == 0 ? i : firstManifest;
            lastManifest = i;
        }
        if (event.kind == "shell" && event.Field("command") == "sync")
            flush = i;
    }
    EXPECT_LT(0u, lastCopy);
    EXPECT_LT(lastCopy, firstManifest);
    EXPECT_LT(lastManifest, flush);

    Lines expectedSources;
    for (const std::string& source : payload->GetContents()) {
        const std::string name = FirmwareFramework::GetBasename(source);
        expectedSources.push_back("payload/" + name);
        EXPECT_EQ(ReadFile(sim::SandboxPath(kMountPoint + "/payload/" + name)), ReadFile(source))
            << name;
    }
    EXPECT_EQ(expectedSources.size(), names.size() + 1);

    const std::string manifestPath = sim::SandboxPath(kMountPoint + "/input_secupd.xml");
    EXPECT_EQ(ParsedSources(ReadFile(manifestPath)), expectedSources);

    Lines commands;
    EXPECT_EQ(DigestOnTheWire(commands), Sha256sumOf(manifestPath));
    Lines expectedCommands{"SecureStageDataTransferSHA"};
    expectedCommands.resize(8, "SecureStageXMLHashTransferSHA");
    EXPECT_EQ(commands, expectedCommands);
    const std::vector<uint8_t> last = sim::IpmiRequests().back();
    EXPECT_EQ(std::vector<uint8_t>(last.begin() + 11, last.end()), std::vector<uint8_t>(6, 0));
}

// The payload is flattened: a payload file named like the descriptor lands
// where the descriptor did, after it, and nothing of the longer one stays.
TEST_F(ShaPayload, ALaterFileOfTheSameNameReplacesTheEarlierWhole) {
    Start();
    m_work.WritePackage({{"package.xml", "x"}});
    auto payload = Collected();
    ASSERT_EQ(payload->GetContents().size(), 2u);
    payload->UploadUpdateContents(kMountPoint);
    EXPECT_EQ(ReadFile(sim::SandboxPath(kMountPoint + "/payload/package.xml")), "x");
}

TEST_F(ShaPayload, FailuresOfTheUploadRecordTheirCodeAndLogTheCause) {
    struct Row {
        const char* what;
        const char* scenario;
        std::function<void(const kortest::TemporaryDirectory&)> afterCollecting;
        int code;            // recorded over the 1 an update starts with
        std::string logged;  // part of the ERROR line
        // The digest's own text, passed on as it was thrown; null for a
        // CVEKException with the code's message.
        const char* passedOn = nullptr;
        // A CVEKException's own message instead of the code's.
        const char* message = nullptr;
        // A further payload file, there before the payload is collected.
        const char* extraFile = nullptr;
    };
    const auto nothing = [](const kortest::TemporaryDirectory&) {};
    const auto intoFifo = [](const kortest::TemporaryDirectory& package) {
        fs::remove(package.Join("payload/fw.bin"));
        ASSERT_EQ(mkfifo(package.Join("payload/fw.bin").c_str(), 0600), 0);
    };
    const Row rows[] = {
        {"announcement refused", "controller.cc.SecureStageDataTransferSHA = 0xC1", nothing, 24,
         "Command SecureStageDataTransferSHA failed with completion code 0xc1."},
        {"piece refused", "controller.cc.SecureStageXMLHashTransferSHA = 0xC1", nothing, 24,
         "Command SecureStageXMLHashTransferSHA failed with completion code 0xc1."},
        {"payload file gone before the copy", "",
         [](const kortest::TemporaryDirectory& package) {
             fs::remove(package.Join("payload/fw.bin"));
         },
         31, "fw.bin: No such file or directory."},
        {"partition full",
         "disk sdb = label=SECUPD fat=16 size=8M\nmount /tmp/SECUPD = /dev/sdb\nmount.space = 25",
         nothing, 31, "fw.bin: No space left on device."},
        // Room for the descriptor (21 bytes) and fw.bin (8), not for the manifest.
        {"no room for the manifest",
         "disk sdb = label=SECUPD fat=16 size=8M\nmount /tmp/SECUPD = /dev/sdb\nmount.space = 29",
         nothing, 31,
         "Writing the manifest failed: cannot write /tmp/SECUPD/input_secupd.xml: No space left "
         "on device."},
        {"the manifest cannot be opened", "",
         [](const kortest::TemporaryDirectory&) {
             fs::create_directories(sim::SandboxPath(kMountPoint + "/input_secupd.xml"));
         },
         31, "Writing the manifest failed: cannot create /tmp/SECUPD/input_secupd.xml", nullptr,
         "Unable to open input_secupd.xml file to write ostrel update content."},
        {"a payload entry that is not a regular file", "", intoFifo, 31,
         "failed: not a regular file: "},
        {"a control character in a name", "", nothing, 31,
         "bell\x07.bin has a name the manifest cannot hold", nullptr, nullptr, "bell\x07.bin"},
        // A lone surrogate reads back as itself, but is no UTF-8.
        {"a name that is not UTF-8", "", nothing, 31,
         "lone\xed\xa0\x80.bin has a name the manifest cannot hold", nullptr, nullptr,
         "lone\xed\xa0\x80.bin"},
        // Reaches the update's catch-all, which leaves code 1.
        {"empty payload file", "",
         [](const kortest::TemporaryDirectory& package) { package.Write("payload/fw.bin", ""); }, 1,
         "payload/fw.bin failed: FileDigest ERROR: in CSHA::FinalDigest(), No data Added "
         "before call!",
         "FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.scenario);
        m_work.WritePackage({{"fw.bin", "firmware"}});
        if (row.extraFile != nullptr)
            m_work.Package().Write(std::string("payload/") + row.extraFile, "extra");
        auto payload = Collected();
        row.afterCollecting(m_work.Package());
        ErrorFramework::CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode = 1;
        m_log.Take();
        const auto upload = [&] { payload->UploadUpdateContents(kMountPoint); };
        if (row.message != nullptr) {
            try {
                upload();
                ADD_FAILURE() << "nothing thrown";
            } catch (const Exception::CVEKException& error) {
                EXPECT_EQ(std::string(error.what())
                              .rfind(std::string("CVEKException - [") + row.message + "]", 0),
                          0u)
                    << error.what();
            }
            EXPECT_EQ(cataloguetest::RecordedErrorCode(), row.code);
        } else if (row.passedOn == nullptr) {
            ExpectFailure(upload, row.code);
        } else {
            try {
                upload();
                ADD_FAILURE() << "nothing thrown";
            } catch (const std::string& text) {
                EXPECT_EQ(text, row.passedOn);
            } catch (const Exception::CVEKException& error) {
                ADD_FAILURE() << "converted to a CVEKException: " << error.what();
            }
            EXPECT_EQ(cataloguetest::RecordedErrorCode(), row.code);
        }
        std::string errors;
        for (const std::string& line : m_log.Take())
            if (line.rfind("ERROR", 0) == 0)
                errors += line + "\n";
        EXPECT_NE(errors.find(row.logged), std::string::npos) << errors;
        TearDown();
        // The next row writes its own payload; a named pipe would block that.
        fs::remove_all(m_work.Package().Join("payload"));
    }
}

}  // namespace
