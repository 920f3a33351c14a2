// The supported-device queries of the package descriptor: component IDs,
// marketing names and PCI identities.

#include <charconv>
#include <optional>

#include "CSoftwareComponentInfo.h"
#include "DescriptorXml.h"

namespace {

// PCI identifiers are compared and shown as four hex digits: "a0" -> "00a0",
// an empty one "0000".
std::string PadIdentifier(std::string value) {
    constexpr std::size_t kWidth = 4;
    if (value.size() < kWidth) {
        value.insert(0, kWidth - value.size(), '0');
    }
    return value;
}

std::optional<long long> DecimalNumber(const std::string& text) {
    long long number = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return number;
}

// The first `Display` with text among the element's following siblings.
std::string FollowingDisplay(xmlNode* element) {
    for (xmlNode* sibling = xmlNextElementSibling(element); sibling != nullptr;
         sibling = xmlNextElementSibling(sibling)) {
        if (DescriptorXml::NameIs(sibling, "Display")) {
            std::string display = DescriptorXml::Text(sibling);
            if (!display.empty()) {
                return display;
            }
        }
    }
    return {};
}

bool SameIdentifiers(const SPCIInfo& left, const SPCIInfo& right) {
    using DescriptorXml::EqualsIgnoringCase;
    return EqualsIgnoringCase(left.strDeviceID, right.strDeviceID) &&
           EqualsIgnoringCase(left.strSubDeviceID, right.strSubDeviceID) &&
           EqualsIgnoringCase(left.strVendorID, right.strVendorID) &&
           EqualsIgnoringCase(left.strSubVendorID, right.strSubVendorID);
}

}  // namespace

std::string CSoftwareComponentInfo::GetMinComponentID() {
    std::optional<long long> smallest;
    for (xmlNode* device : DescriptorXml::Elements(ParseXmlUsingXpath())) {
        std::optional<long long> id =
            DecimalNumber(DescriptorXml::Attribute(device, "componentID"));
        if (id && (!smallest || *id < *smallest)) {
            smallest = id;
        }
    }
    return smallest ? std::to_string(*smallest) : std::string();
}

std::map<std::string, std::string> CSoftwareComponentInfo::getCompIDMarkNameInfo() {
    std::map<std::string, std::string> names;
    for (xmlNode* device : DescriptorXml::Elements(ParseXmlUsingXpath())) {
        std::optional<std::string> id = GetAttributeValue(device, "componentID");
        if (!id) {
            continue;
        }
        for (xmlNode* child = xmlFirstElementChild(device); child != nullptr;
             child = xmlNextElementSibling(child)) {
            std::string display =
                DescriptorXml::NameIs(child, "Display") ? DescriptorXml::Text(child) : "";
            if (!display.empty()) {
                names[*id] = display;
            }
        }
    }
    return names;
}

std::string CSoftwareComponentInfo::getMarketingNameForNonPCIDevice(std::string& componentID) {
    for (const auto& [id, display] : getCompIDMarkNameInfo()) {
        if (DescriptorXml::EqualsIgnoringCase(id, componentID)) {
            return display;
        }
    }
    return {};
}

std::vector<SPCIInfo> CSoftwareComponentInfo::GetSupportedDevices() {
    std::vector<SPCIInfo> devices;
    for (xmlNode* device : DescriptorXml::Elements(ParseXmlUsingXpath())) {
        const std::string componentID = DescriptorXml::Attribute(device, "componentID");
        for (xmlNode* child = xmlFirstElementChild(device); child != nullptr;
             child = xmlNextElementSibling(child)) {
            if (!DescriptorXml::NameIs(child, "PCIInfo")) {
                continue;
            }
            // Each entry stands on its own: an identifier the element lacks
            // reads as empty rather than repeating the previous entry's.
            SPCIInfo entry;
            entry.strComponentID = componentID;
            entry.strDeviceID = PadIdentifier(DescriptorXml::Attribute(child, "deviceID"));
            entry.strSubDeviceID = PadIdentifier(DescriptorXml::Attribute(child, "subDeviceID"));
            entry.strVendorID = PadIdentifier(DescriptorXml::Attribute(child, "vendorID"));
            entry.strSubVendorID = PadIdentifier(DescriptorXml::Attribute(child, "subVendorID"));
            entry.strDisplay = FollowingDisplay(child);
            devices.push_back(std::move(entry));
        }
    }
    return devices;
}

std::string CSoftwareComponentInfo::getMarketingNameForPCIDevice(SPCIInfo& identity) {
    std::string display;
    for (const SPCIInfo& entry : GetSupportedDevices()) {
        if (SameIdentifiers(entry, identity)) {
            display = entry.strDisplay;
        }
    }
    return display;
}
