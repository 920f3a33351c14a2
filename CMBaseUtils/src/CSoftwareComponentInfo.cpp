#include "CSoftwareComponentInfo.h"

#include "CLogger.h"
#include "CPlatformLayer.h"
#include "DescriptorXml.h"
#include "KORFile.h"
#include "KORLogFile.h"

namespace {

const char* const kDescriptorName = "package.xml";
const char* const kDevicesXPath = "//SoftwareComponent/SupportedDevices/Device";

struct XPathContextFree {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};

// The simple logger is switched on by the marker in the working directory;
// the first object to see it opens "baseutils.log" there.
void EnableLoggingWhenAsked() {
    if (KORDebugMarkerPresent()) {
        CLogger::GetInstance()->Initialize(CLogger::strBaseUtilsLogFileName);
    }
}

// Whether "package.xml" is there to be parsed, found without opening it: the
// parse refuses (and logs) one that is no regular file.
bool DescriptorPresent(const std::string& path) {
    return KORFile(KORString(path)).Exists();
}

}  // namespace

CSoftwareComponentInfo::CSoftwareComponentInfo()
    : m_strPackagePath(CPlatformLayer::getCurrentDirectory() + kDescriptorName) {
    EnableLoggingWhenAsked();
    if (!DescriptorPresent(m_strPackagePath)) {
        return;
    }
    m_pDocument = DescriptorXml::ParseFile(m_strPackagePath);
    if (!m_pDocument) {
        CLOG("CSoftwareComponentInfo::Init() Document " + m_strPackagePath +
             " not parsed successfully ");
    }
}

CSoftwareComponentInfo::CSoftwareComponentInfo(std::string& xml) {
    EnableLoggingWhenAsked();
    m_pDocument = DescriptorXml::ParseText(xml, m_strPackagePath);
    if (!m_pDocument) {
        CLOG("CSoftwareComponentInfo::CSoftwareComponentInfo(string) Document " + m_strPackagePath +
             " not parsed successfully ");
    }
}

// libxml2's own clean-up (xmlCleanupParser) is for the end of the process:
// it would reset the parser under the host and its other users.
CSoftwareComponentInfo::~CSoftwareComponentInfo() {
    m_pDocument.reset();
}

void CSoftwareComponentInfo::Reload() {
    // An object built from text has no file behind it and keeps its document.
    if (m_strPackagePath.empty()) {
        return;
    }
    m_pDocument.reset();
    if (DescriptorPresent(m_strPackagePath)) {
        m_pDocument = DescriptorXml::ParseFile(m_strPackagePath);
    }
}

XPathResult CSoftwareComponentInfo::GetNodeSet(xmlDoc* document, const unsigned char* xpath) {
    if (document == nullptr || xpath == nullptr) {
        return nullptr;
    }
    std::unique_ptr<xmlXPathContext, XPathContextFree> context(xmlXPathNewContext(document));
    if (!context) {
        return nullptr;
    }
    XPathResult result(xmlXPathEvalExpression(xpath, context.get()));
    if (!result || result->type != XPATH_NODESET || xmlXPathNodeSetIsEmpty(result->nodesetval)) {
        return nullptr;
    }
    return result;
}

XPathResult CSoftwareComponentInfo::getnodeset(xmlDoc* document, const unsigned char* xpath) {
    return GetNodeSet(document, xpath);
}

XPathResult CSoftwareComponentInfo::ParseXmlUsingXpath() {
    return ParseXmlUsingXpath(kDevicesXPath);
}

XPathResult CSoftwareComponentInfo::ParseXmlUsingXpath(const char* xpath) {
    Reload();
    return GetNodeSet(m_pDocument.get(), reinterpret_cast<const xmlChar*>(xpath));
}

std::optional<std::string> CSoftwareComponentInfo::GetAttributeValue(xmlNode* node,
                                                                     const char* name) {
    if (node == nullptr || name == nullptr ||
        xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) == nullptr) {
        return std::nullopt;
    }
    return DescriptorXml::Attribute(node, name);
}

std::string CSoftwareComponentInfo::GetValue(const std::string& xpath,
                                             const std::string& attribute) {
    XPathResult result =
        GetNodeSet(m_pDocument.get(), reinterpret_cast<const xmlChar*>(xpath.c_str()));
    for (xmlNode* element : DescriptorXml::Elements(result)) {
        if (!attribute.empty()) {
            if (std::optional<std::string> value = GetAttributeValue(element, attribute.c_str())) {
                return *value;
            }
        }
        std::string text = DescriptorXml::Text(element);
        if (!text.empty()) {
            return text;
        }
    }
    return {};
}

std::string CSoftwareComponentInfo::GetComponentDisplayString() {
    for (xmlNode* device : DescriptorXml::Elements(ParseXmlUsingXpath())) {
        xmlNode* first = xmlFirstElementChild(device);
        if (!DescriptorXml::NameIs(first, "Display")) {
            continue;
        }
        std::string display = DescriptorXml::Text(first);
        if (display.empty()) {
            CLOG(
                "CSoftwareComponentInfo::GetComponentDisplayString() failed to get the Display "
                "info from package.xml for device");
        }
        return display;
    }
    return {};
}

std::string CSoftwareComponentInfo::GetComponentTypeDisplayString() {
    return GetValue("//SoftwareComponent/ComponentType/Display", "");
}

std::string CSoftwareComponentInfo::GetComponentID() {
    std::vector<xmlNode*> devices = DescriptorXml::Elements(ParseXmlUsingXpath());
    if (devices.empty()) {
        return {};
    }
    std::string componentID = DescriptorXml::Attribute(devices.front(), "componentID");
    CLOG("Found the component id as " + componentID);
    return componentID;
}

namespace {

// The attribute of the last matched element, empty when that one lacks it:
// an earlier element's value never stands in for it.
std::string LastAttribute(const XPathResult& result, const char* name) {
    const std::vector<xmlNode*> elements = DescriptorXml::Elements(result);
    return elements.empty() ? std::string() : DescriptorXml::Attribute(elements.back(), name);
}

}  // namespace

std::string CSoftwareComponentInfo::GetComponentVersion() {
    return LastAttribute(ParseXmlUsingXpath("//SoftwareComponent"), "vendorVersion");
}

std::string CSoftwareComponentInfo::GetComponentType() {
    return LastAttribute(ParseXmlUsingXpath("//SoftwareComponent/ComponentType"), "value");
}

std::string CSoftwareComponentInfo::GetPackageID() {
    return GetValue("//SoftwareComponent", "");
}

bool CSoftwareComponentInfo::getPresenceOfRollbackInfo() {
    if (ParseXmlUsingXpath("//SoftwareComponent/SupportedDevices/Device/RollbackInformation")) {
        CLOG("GUID Tag found in package.xml");
        return true;
    }
    CLOG("ParseXmlUsingXpath failed");
    return false;
}
