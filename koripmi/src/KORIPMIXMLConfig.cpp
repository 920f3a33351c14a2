#include "KORIPMIXMLConfig.h"

#include <libxml/tree.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "KORFile.h"
#include "KORLogger.h"
#include "KORXmlFile.h"

namespace {

const char kDefaultName[] = "Default";

// The settings file is looked for where the host runs, like every other
// configuration file of the library; an absolute name is taken as it is.
std::string ResolveInWorkingDirectory(const std::string& name) {
    if (!name.empty() && name[0] == '/') {
        return name;
    }
    char directory[PATH_MAX];
    if (getcwd(directory, sizeof(directory)) == nullptr) {
        return name;
    }
    return std::string(directory) + "/" + name;
}

// The first element child carrying name="Default" exactly.
xmlNodePtr FindDefaultChild(xmlNodePtr parent) {
    for (xmlNodePtr child = parent->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            continue;
        }
        xmlChar* name = xmlGetProp(child, BAD_CAST "name");
        const bool isDefault = name != nullptr && xmlStrcmp(name, BAD_CAST kDefaultName) == 0;
        xmlFree(name);
        if (isDefault) {
            return child;
        }
    }
    return nullptr;
}

// Base 10 with leading blanks and a sign, up to the first non-digit; no digits
// give 0, values beyond int saturate.
int ParseDecimal(const xmlChar* text) {
    if (text == nullptr) {
        return 0;
    }
    const long value = strtol(reinterpret_cast<const char*>(text), nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

}  // namespace

KORIPMIXMLConfig::KORIPMIXMLConfig(const KORString& fileName)
    : m_fileName(fileName), m_bLoaded(false), m_pDocument(nullptr), m_pDefaultConfigNode(nullptr) {}

KORIPMIXMLConfig::~KORIPMIXMLConfig() {
    ReleaseLocked();
}

bool KORIPMIXMLConfig::Initialize() {
    KORLockGuard guard(m_lock);
    return InitializeLocked();
}

bool KORIPMIXMLConfig::InitializeLocked() {
    if (m_bLoaded) {
        return true;
    }
    const std::string path = ResolveInWorkingDirectory(m_fileName.GetUTF8String());
    // Found without opening it: a FIFO in its place must not hang the update.
    if (!KORFile(KORString(path)).Exists()) {
        KOR_LOG(KOR_LOG_ERROR, "KORIPMIXMLConfig::Initialize() - File Not Found");
        return false;
    }
    KOR_LOG(KOR_LOG_INFO, "KORIPMIXMLConfig::Initialize() File exist");
    m_pDocument = KORXml::ParseFile(path, KORXml::Blanks::Kept).release();
    if (m_pDocument == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "Parse unsuccessful");
        return false;
    }
    m_bLoaded = true;
    return true;
}

xmlNodePtr KORIPMIXMLConfig::GetDefaultConfigNode() {
    KORLockGuard guard(m_lock);
    return GetDefaultConfigNodeLocked();
}

xmlNodePtr KORIPMIXMLConfig::GetDefaultConfigNodeLocked() {
    if (m_pDefaultConfigNode != nullptr) {
        return m_pDefaultConfigNode;
    }
    xmlNodePtr root = m_pDocument != nullptr ? xmlDocGetRootElement(m_pDocument) : nullptr;
    if (root == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "KORRoot is NULL");
        return nullptr;
    }
    xmlNodePtr group = FindDefaultChild(root);
    if (group == nullptr) {
        KOR_LOG(KOR_LOG_INFO, "No default device configuration node found");
        return nullptr;
    }
    m_pDefaultConfigNode = FindDefaultChild(group);
    return m_pDefaultConfigNode;
}

bool KORIPMIXMLConfig::GetConfigInt(const KORString& key, int* value) {
    KORLockGuard guard(m_lock);
    if (!m_bLoaded && !InitializeLocked()) {
        KOR_LOG(KOR_LOG_ERROR, "IPMI configuration not initialized");
        return false;
    }
    xmlNodePtr defaultNode = GetDefaultConfigNodeLocked();
    if (defaultNode == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "No default IPMI config found");
        return false;
    }
    const std::string keyName = key.GetUTF8String();
    for (xmlNodePtr child = defaultNode->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE ||
            xmlStrcmp(child->name, BAD_CAST keyName.c_str()) != 0) {
            continue;
        }
        xmlChar* text = xmlNodeGetContent(child);
        const int parsed = ParseDecimal(text);
        xmlFree(text);
        if (value != nullptr) {
            *value = parsed;
        }
        return true;
    }
    return false;
}

void KORIPMIXMLConfig::SetConfigurationFileName(KORString name) {
    KORLockGuard guard(m_lock);
    m_fileName = name;
}

bool KORIPMIXMLConfig::Release() {
    KORLockGuard guard(m_lock);
    ReleaseLocked();
    return true;
}

void KORIPMIXMLConfig::ReleaseLocked() {
    // The cached node lives inside the document: both go, and the next use loads again.
    m_pDefaultConfigNode = nullptr;
    if (m_pDocument != nullptr) {
        xmlFreeDoc(m_pDocument);
        m_pDocument = nullptr;
    }
    m_bLoaded = false;
}
