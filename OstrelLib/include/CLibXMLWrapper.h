#pragma once
// A forward-only reader over one XML file: open it, check the root element's
// name, then walk the root's direct children (text and comment nodes included)
// and read their attributes. The file is parsed as every XML file of the
// package is (KORXmlFile.h); an attribute longer than KORXml::kMaxValueBytes
// reads as missing. No operation throws; failures answer false and are
// logged.
//
//     CLibXMLWrapper reader(KORString("ErrorCodes.xml"));
//     if (reader.Open() && reader.ReadRootNode("ErrorCodes") && reader.ReadChildNode())
//         for (; !reader.IsChildNodeNull(); reader.GetNextChildNode())
//             if (reader.ExistChildNode("ErrorCode")) ...

#include <libxml/tree.h>

#include <string>

#include "KORString.h"

class CLibXMLWrapper {
public:
    explicit CLibXMLWrapper(const KORString& path);
    ~CLibXMLWrapper();
    CLibXMLWrapper(const CLibXMLWrapper&) = delete;
    CLibXMLWrapper& operator=(const CLibXMLWrapper&) = delete;

    bool Open();
    bool ReadRootNode(const std::string& name);
    // Puts the cursor on the root's first child; also restarts a walk.
    bool ReadChildNode();
    bool IsChildNodeNull();
    bool GetNextChildNode();
    bool ExistChildNode(const std::string& name);
    bool GetChildAttribute(const std::string& name, std::string& value);

private:
    KORString m_strFilePath;
    bool m_bRootNodeRead;
    std::string m_strRootNodeName;
    std::string m_strChildNodeName;
    xmlDocPtr m_pDocument;
    xmlNodePtr m_pRootNode;
    xmlNodePtr m_pCurrentChildNode;
};
