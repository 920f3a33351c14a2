#include "CLibXMLWrapper.h"

#include <libxml/parser.h>

#include "KORInputFile.h"
#include "KORLogger.h"
#include "KORXmlFile.h"

namespace {

const xmlChar* AsXmlText(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

}  // namespace

CLibXMLWrapper::CLibXMLWrapper(const KORString& path)
    : m_strFilePath(path),
      m_bRootNodeRead(false),
      m_pDocument(nullptr),
      m_pRootNode(nullptr),
      m_pCurrentChildNode(nullptr) {
    KOR_LOG(KOR_LOG_DEBUG, "CLibXMLWrapper::CLibXMLWrapper() Entering");
    KOR_LOG(KOR_LOG_DEBUG, "CLibXMLWrapper::CLibXMLWrapper() Leaving");
}

CLibXMLWrapper::~CLibXMLWrapper() {
    KOR_LOG(KOR_LOG_DEBUG, "CLibXMLWrapper::~CLibXMLWrapper() Entering");
    // libxml2's own clean-up (xmlCleanupParser) is for the end of the
    // process: it would reset the parser under the host and its other users.
    if (m_pDocument != nullptr) {
        xmlFreeDoc(m_pDocument);
        m_pDocument = nullptr;
    }
}

bool CLibXMLWrapper::Open() {
    KOR_LOG(KOR_LOG_DEBUG, "CLibXMLWrapper::Open() Entering.");
    const std::string path = m_strFilePath.GetUTF8String();
    if (!KORInputFileReadable(m_strFilePath)) {
        return false;
    }
    // A second Open must not leak the document of the first.
    if (m_pDocument != nullptr) {
        xmlFreeDoc(m_pDocument);
        m_pDocument = nullptr;
        m_pRootNode = nullptr;
        m_pCurrentChildNode = nullptr;
        m_bRootNodeRead = false;
    }
    m_pDocument = KORXml::ParseFile(path, KORXml::Blanks::Kept).release();
    if (m_pDocument == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "Error occured during parsing file(%s)", path.c_str());
        return false;
    }
    KOR_LOG(KOR_LOG_DEBUG, "CLibXMLWrapper::Open() Leaving");
    return true;
}

bool CLibXMLWrapper::ReadRootNode(const std::string& name) {
    if (m_pDocument == nullptr)
        return false;
    xmlNodePtr root = xmlDocGetRootElement(m_pDocument);
    if (root == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "Error occurred during reading root node.(%s)", name.c_str());
        return false;
    }
    if (xmlStrcmp(root->name, AsXmlText(name)) != 0) {
        KOR_LOG(KOR_LOG_ERROR, "Error checking root element (%s) in XML file.", name.c_str());
        return false;
    }
    m_pRootNode = root;
    m_bRootNodeRead = true;
    m_strRootNodeName = name;
    return true;
}

bool CLibXMLWrapper::ReadChildNode() {
    if (!m_bRootNodeRead)
        return false;
    m_pCurrentChildNode = m_pRootNode->children;
    if (m_pCurrentChildNode == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "Error checking child node for root node (%s).",
                m_strRootNodeName.c_str());
        return false;
    }
    return true;
}

bool CLibXMLWrapper::IsChildNodeNull() {
    return m_pCurrentChildNode == nullptr;
}

bool CLibXMLWrapper::GetNextChildNode() {
    if (m_pCurrentChildNode == nullptr)
        return false;
    m_pCurrentChildNode = m_pCurrentChildNode->next;
    return true;
}

bool CLibXMLWrapper::ExistChildNode(const std::string& name) {
    m_strChildNodeName = name;
    return m_pCurrentChildNode != nullptr &&
           xmlStrcmp(m_pCurrentChildNode->name, AsXmlText(name)) == 0;
}

bool CLibXMLWrapper::GetChildAttribute(const std::string& name, std::string& value) {
    value.clear();
    if (m_pCurrentChildNode == nullptr)
        return false;
    // xmlHasProp may also answer with a DTD attribute declaration, which has
    // no text child of its own.
    xmlAttrPtr attribute = xmlHasProp(m_pCurrentChildNode, AsXmlText(name));
    if (attribute == nullptr || attribute->type != XML_ATTRIBUTE_NODE ||
        attribute->children == nullptr || attribute->children->content == nullptr)
        return false;
    value = KORXml::BoundedValue(attribute->children->content);
    return !value.empty();
}
