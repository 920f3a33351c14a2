#include "CLibXMLWrapper.h"

#include <gtest/gtest.h>
#include <kortest/HostXmlDefaults.h>
#include <kortest/KorLog.h>
#include <kortest/PlantedFiles.h>
#include <kortest/TemporaryDirectory.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "KORXmlFile.h"

namespace {

// Names the node under the cursor by asking ExistChildNode, as callers do.
std::string CursorName(CLibXMLWrapper& reader) {
    for (const char* name : {"text", "comment", "Item", "Other"})
        if (reader.ExistChildNode(name))
            return name;
    return "?";
}

// Also with the host's libxml2 defaults switched to substitute entities and
// load external DTDs; nothing that is no regular file is opened for reading.
TEST(CLibXMLWrapperTest, OpenFailsOnUnusableFiles) {
    kortest::TemporaryDirectory work;
    work.Enter();
    const kortest::HostXmlDefaults careless;
    struct OpenCase {
        std::string name;
        std::function<void(const std::string&)> lay;
        std::string logged;
    };
    const auto text = [&work](const std::string& content) {
        return [&work, content](const std::string&) { work.Write("codes.xml", content); };
    };
    const std::string path = work.Path() + "/codes.xml";
    std::vector<OpenCase> cases = {
        {"missing", [](const std::string&) {},
         "Error opening file " + path + ". Check if file does exists in current directory"},
        {"empty", text(""), "Input file (" + path + ") is empty."},
        {"not XML", text("this is not <xml"), "Error occured during parsing file(" + path + ")"},
        {"unclosed root", text("<ErrorCodes><ErrorCode CodeNo=\"1\"/>"),
         "Error occured during parsing file(" + path + ")"},
        {"declares an entity",
         text("<!DOCTYPE ErrorCodes [<!ENTITY m \"flood\">]>"
              "<ErrorCodes><ErrorCode CodeNo=\"1\" Discription=\"&m;&m;\"/></ErrorCodes>"),
         "XML document " + path + " declares an entity and is refused."},
        {"too large",
         text("<ErrorCodes>" + std::string(KORXml::kMaxFileBytes, ' ') + "</ErrorCodes>"),
         "Input file (" + path + ") is larger than " + std::to_string(KORXml::kMaxFileBytes) +
             " bytes."},
    };
    for (const kortest::PlantedKind& planted : kortest::PlantedKinds()) {
        cases.push_back(
            {planted.typeName,
             [&planted](const std::string& at) { kortest::Plant(at, planted.kind); },
             "Input file (" + path + ") is " + planted.typeName + ", not a regular file."});
    }
    for (const OpenCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        std::filesystem::remove_all(path);
        testCase.lay(path);
        kortest::KorLog log;
        const kortest::HangGuard guard;
        CLibXMLWrapper reader{KORString(path)};
        EXPECT_FALSE(reader.Open());
        EXPECT_FALSE(reader.ReadRootNode("ErrorCodes"));
        EXPECT_FALSE(reader.ReadChildNode());
        EXPECT_TRUE(reader.IsChildNodeNull());
        EXPECT_FALSE(reader.GetNextChildNode());
        EXPECT_EQ(kortest::CountOf(log.Finish(), testCase.logged), 1u);
    }
}

TEST(CLibXMLWrapperTest, RelativePathIsReadFromWorkingDirectory) {
    kortest::TemporaryDirectory work;
    work.Enter();
    work.Write("codes.xml", "<ErrorCodes><ErrorCode/></ErrorCodes>");
    CLibXMLWrapper reader{KORString("codes.xml")};
    EXPECT_TRUE(reader.Open());
    EXPECT_TRUE(reader.ReadRootNode("ErrorCodes"));
    // Opening again replaces the document (the leak check of a sanitizer
    // build sees the first one freed) and starts over.
    work.Write("codes.xml", "<Other><ErrorCode/></Other>");
    EXPECT_TRUE(reader.Open());
    EXPECT_FALSE(reader.ReadChildNode());
    EXPECT_TRUE(reader.ReadRootNode("Other"));
    EXPECT_TRUE(reader.ReadChildNode());
    EXPECT_TRUE(reader.ExistChildNode("ErrorCode"));
}

TEST(CLibXMLWrapperTest, WrongRootNameAndEmptyRootFail) {
    kortest::TemporaryDirectory work;
    work.Enter();
    {
        kortest::KorLog log;
        CLibXMLWrapper reader{KORString(work.Write("a.xml", "<Codes><ErrorCode/></Codes>"))};
        ASSERT_TRUE(reader.Open());
        EXPECT_FALSE(reader.ReadRootNode("ErrorCodes"));
        EXPECT_FALSE(reader.ReadRootNode("codes"));
        EXPECT_FALSE(reader.ReadChildNode());
        EXPECT_EQ(
            kortest::CountOf(log.Finish(), "Error checking root element (ErrorCodes) in XML file."),
            1u);
    }
    {
        kortest::KorLog log;
        CLibXMLWrapper reader{KORString(work.Write("b.xml", "<ErrorCodes/>"))};
        ASSERT_TRUE(reader.Open());
        EXPECT_TRUE(reader.ReadRootNode("ErrorCodes"));
        EXPECT_FALSE(reader.ReadChildNode());
        EXPECT_TRUE(reader.IsChildNodeNull());
        EXPECT_EQ(
            kortest::CountOf(log.Finish(), "Error checking child node for root node (ErrorCodes)."),
            1u);
    }
}

TEST(CLibXMLWrapperTest, WalkVisitsEveryChildNodeAndReadsAttributes) {
    const std::string kLongest(KORXml::kMaxValueBytes, 'm');
    kortest::TemporaryDirectory work;
    work.Enter();
    CLibXMLWrapper reader{
        KORString(work.Write("walk.xml",
                             "<Root>\n"
                             "  <!-- note -->\n"
                             "  <Item A=\"1\" B=\"x &amp; y\" Empty=\"\" Longest=\"" +
                                 kLongest + "\" TooLong=\"" + kLongest +
                                 "z\"><Nested/></Item>\n"
                                 "  <Other A=\"2\"/>\n"
                                 "</Root>\n"))};
    ASSERT_TRUE(reader.Open());
    ASSERT_TRUE(reader.ReadRootNode("Root"));
    ASSERT_TRUE(reader.ReadChildNode());

    std::vector<std::string> visited;
    std::vector<std::string> itemValues;
    std::string value = "stale";
    while (!reader.IsChildNodeNull()) {
        visited.push_back(CursorName(reader));
        if (reader.ExistChildNode("Item")) {
            EXPECT_TRUE(reader.GetChildAttribute("A", itemValues.emplace_back()));
            EXPECT_TRUE(reader.GetChildAttribute("B", itemValues.emplace_back()));
            // libxml2 versions differ on whether an empty value has a text child.
            reader.GetChildAttribute("Empty", value);
            EXPECT_EQ(value, "");
            value = "stale";
            EXPECT_FALSE(reader.GetChildAttribute("Missing", value));
            EXPECT_EQ(value, "");
            // A value longer than a message or record field may be reads as missing.
            EXPECT_TRUE(reader.GetChildAttribute("Longest", value));
            EXPECT_EQ(value, kLongest);
            EXPECT_FALSE(reader.GetChildAttribute("TooLong", value));
            EXPECT_EQ(value, "");
        } else if (reader.ExistChildNode("text")) {
            value = "stale";
            EXPECT_FALSE(reader.GetChildAttribute("A", value));
            EXPECT_EQ(value, "");
        }
        EXPECT_TRUE(reader.GetNextChildNode());
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"text", "comment", "text", "Item", "text", "Other",
                                                 "text"}));
    EXPECT_EQ(itemValues, (std::vector<std::string>{"1", "x & y"}));

    // Past the last child nothing is under the cursor any more.
    EXPECT_FALSE(reader.GetNextChildNode());
    EXPECT_FALSE(reader.ExistChildNode("text"));
    value = "stale";
    EXPECT_FALSE(reader.GetChildAttribute("A", value));
    EXPECT_EQ(value, "");

    // ReadChildNode starts the walk again.
    ASSERT_TRUE(reader.ReadChildNode());
    EXPECT_EQ(CursorName(reader), "text");
}

// Not even when the host's libxml2 defaults ask for attribute defaults.
TEST(CLibXMLWrapperTest, AttributeFromDocumentTypeDefaultIsNotRead) {
    kortest::TemporaryDirectory work;
    work.Enter();
    const kortest::HostXmlDefaults careless;
    CLibXMLWrapper reader{KORString(work.Write("dtd.xml",
                                               "<?xml version=\"1.0\"?>\n"
                                               "<!DOCTYPE Root [\n"
                                               "  <!ATTLIST Item A CDATA \"default\">\n"
                                               "]>\n"
                                               "<Root><Item/></Root>\n"))};
    ASSERT_TRUE(reader.Open());
    ASSERT_TRUE(reader.ReadRootNode("Root"));
    ASSERT_TRUE(reader.ReadChildNode());
    ASSERT_TRUE(reader.ExistChildNode("Item"));
    std::string value = "stale";
    EXPECT_FALSE(reader.GetChildAttribute("A", value));
    EXPECT_EQ(value, "");
}

}  // namespace
