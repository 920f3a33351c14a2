#pragma once
// Reader of the package descriptor "package.xml" in the working directory:
// the component's name, type, version and supported devices, answered by
// XPath queries over the parsed document. No query raises: a descriptor that
// is missing, unreadable or not XML answers empty strings, empty lists and
// false. Queries other than GetValue (and those built on it) read the file
// again first, so they see the descriptor as it is at the time of the call.
// The file is parsed as every XML file of the package is (KORXmlFile.h).

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CDeviceInfo.h"

struct XmlDocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct XPathObjectFree {
    void operator()(xmlXPathObject* result) const { xmlXPathFreeObject(result); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocumentFree>;
// A non-empty node set; null stands for "no context, no evaluation or no match".
using XPathResult = std::unique_ptr<xmlXPathObject, XPathObjectFree>;

class CSoftwareComponentInfo {
public:
    // Reads "package.xml" from the working directory; a missing or
    // unreadable file leaves no document.
    CSoftwareComponentInfo();
    // Parses a descriptor given as text; such an object has no file to read
    // again and answers every query from this text.
    explicit CSoftwareComponentInfo(std::string& xml);
    ~CSoftwareComponentInfo();
    CSoftwareComponentInfo(const CSoftwareComponentInfo&) = delete;
    CSoftwareComponentInfo& operator=(const CSoftwareComponentInfo&) = delete;

    // What the update reads to fill its device record.
    std::string GetComponentDisplayString();
    std::string GetComponentTypeDisplayString();
    // The first matched element's attribute (when `attribute` is not empty
    // and the element has it) or text, over the document already loaded.
    std::string GetValue(const std::string& xpath, const std::string& attribute);
    std::string GetComponentID();
    // The "vendorVersion" of the last SoftwareComponent element, "" when
    // that element has none.
    std::string GetComponentVersion();
    std::string getMarketingNameForNonPCIDevice(std::string& componentID);

    // Broader queries over the supported devices.
    std::string GetPackageID();
    // The "value" of the last SoftwareComponent/ComponentType element, "" when
    // that element has none.
    std::string GetComponentType();
    bool getPresenceOfRollbackInfo();
    // The smallest numeric "componentID" of the devices as decimal text;
    // IDs that are not whole decimal numbers are passed over, and "" comes
    // back when no device has a numeric ID.
    std::string GetMinComponentID();
    std::map<std::string, std::string> getCompIDMarkNameInfo();
    std::vector<SPCIInfo> GetSupportedDevices();
    std::string getMarketingNameForPCIDevice(SPCIInfo& identity);
    // One new record per dependency; the caller owns (and deletes) them.
    std::vector<CDeviceInfo*> getDependencyInfo();
    void AddDependencyInfo(std::vector<CDeviceInfo*>& records, CDeviceInfo*& record);
    std::vector<std::string> getPlatformInfo(xmlNode* brand);
    // Writes every `Device` of the inventory text whose "componentID" equals
    // `componentID` to `out`; false when the inventory is not XML.
    bool GetInvFromOrinL(std::string componentID, std::stringstream& inventory,
                         std::stringstream& out);

    // The attribute's value, or nothing when the node lacks it.
    static std::optional<std::string> GetAttributeValue(xmlNode* node, const char* name);
    static XPathResult GetNodeSet(xmlDoc* document, const unsigned char* xpath);
    static XPathResult getnodeset(xmlDoc* document, const unsigned char* xpath);
    // Read the descriptor again, then evaluate the supported devices or the
    // given expression over it; null when there is no "package.xml".
    XPathResult ParseXmlUsingXpath();
    XPathResult ParseXmlUsingXpath(const char* xpath);

private:
    void Reload();

    std::string m_strPackagePath;
    XmlDocument m_pDocument;
};
