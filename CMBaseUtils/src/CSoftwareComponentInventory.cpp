// Lookup of one component in a controller inventory document.

#include "CLogger.h"
#include "CSoftwareComponentInfo.h"
#include "DescriptorXml.h"

namespace {

struct XmlBufferFree {
    void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};

}  // namespace

// The identifier is taken by value: the signature is part of the class's published shape.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool CSoftwareComponentInfo::GetInvFromOrinL(std::string componentID, std::stringstream& inventory,
                                             std::stringstream& out) {
    XmlDocument document = DescriptorXml::ParseText(inventory.str(), "");
    if (!document) {
        return false;
    }
    // The component ID is compared here rather than pasted into the XPath
    // text: XPath 1.0 literals have no escape, so an ID holding a quote could
    // otherwise change the query.
    XPathResult devices =
        GetNodeSet(document.get(), reinterpret_cast<const xmlChar*>("/TRVInventory/Device"));
    bool found = false;
    std::unique_ptr<xmlBuffer, XmlBufferFree> buffer(xmlBufferCreate());
    for (xmlNode* device : DescriptorXml::Elements(devices)) {
        std::optional<std::string> id = GetAttributeValue(device, "componentID");
        if (!id || *id != componentID || !buffer) {
            continue;
        }
        found = true;
        xmlBufferEmpty(buffer.get());
        if (xmlNodeDump(buffer.get(), document.get(), device, 0, 1) >= 0) {
            out.write(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                      xmlBufferLength(buffer.get()));
        }
    }
    CLOG(found ? "CIdentityModuleInventory::GetInvFromOrinL:: component ID found"
               : "CIdentityModuleInventory::GetInvFromOrinL:: component ID not found");
    return true;
}
