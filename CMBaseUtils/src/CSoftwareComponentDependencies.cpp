// Dependency records of the package descriptor: one CDeviceInfo per
// `Dependency` or `SoftDependency` of a supported device.

#include <memory>
#include <new>

#include "CLogger.h"
#include "CSoftwareComponentInfo.h"
#include "DescriptorXml.h"

namespace {

using DescriptorXml::Attribute;
using DescriptorXml::NameIs;

bool NameIsEither(const xmlNode* node, const char* name, const char* alternative) {
    return NameIs(node, name) || NameIs(node, alternative);
}

SPCIInfo ReadPciIdentifiers(xmlNode* element) {
    SPCIInfo identity;
    identity.strDeviceID = Attribute(element, "deviceID");
    identity.strSubDeviceID = Attribute(element, "subDeviceID");
    identity.strVendorID = Attribute(element, "vendorID");
    identity.strSubVendorID = Attribute(element, "subVendorID");
    return identity;
}

SOSInfo ReadOperatingSystem(xmlNode* element) {
    SOSInfo system;
    system.strMajorVersion = Attribute(element, "majorVersion");
    system.strMinorVersion = Attribute(element, "minorVersion");
    system.strSPMajorVersion = Attribute(element, "spMajorVersion");
    system.strSPMinorVersion = Attribute(element, "spMinorVersion");
    system.strOSVendor = Attribute(element, "osVendor");
    system.strOSArch = Attribute(element, "osArch");
    system.strBuildNumber = Attribute(element, "buildNumber");
    return system;
}

// A dependency attribute that is missing is logged and read as empty.
std::string DependencyAttribute(xmlNode* dependency, const char* name) {
    std::optional<std::string> value = CSoftwareComponentInfo::GetAttributeValue(dependency, name);
    if (!value) {
        CLOG(std::string("CSoftwareComponentInfo::getDependencyInfo() attribute ") + name +
             " not found");
    }
    return value.value_or("");
}

void ReadParent(xmlNode* device, CDeviceInfo& record) {
    record.setParentComponentID(Attribute(device, "componentID"));
    std::vector<SPCIInfo> parents;
    for (xmlNode* child = xmlFirstElementChild(device); child != nullptr;
         child = xmlNextElementSibling(child)) {
        if (NameIs(child, "PCIInfo")) {
            parents.push_back(ReadPciIdentifiers(child));
        }
    }
    record.setParentDeviceType(parents.empty() ? DEVICE_TYPE_NON_PCI : DEVICE_TYPE_PCI);
    record.setParentPCIInfo(parents);
}

}  // namespace

std::vector<std::string> CSoftwareComponentInfo::getPlatformInfo(xmlNode* brand) {
    std::vector<std::string> platforms;
    for (xmlNode* node = brand; node != nullptr; node = xmlNextElementSibling(node)) {
        if (!NameIsEither(node, "Brand", "DepBrand")) {
            continue;
        }
        for (xmlNode* model = xmlFirstElementChild(node); model != nullptr;
             model = xmlNextElementSibling(model)) {
            if (NameIsEither(model, "Model", "DepModel")) {
                platforms.push_back("0x" + Attribute(model, "systemID"));
            }
        }
    }
    return platforms;
}

void CSoftwareComponentInfo::AddDependencyInfo(std::vector<CDeviceInfo*>& records,
                                               CDeviceInfo*& record) {
    if (record == nullptr) {
        return;
    }
    for (CDeviceInfo* existing : records) {
        if (*existing == *record &&
            existing->getParentComponentID() == record->getParentComponentID()) {
            CLOG("CSoftwareComponentInfo::AddDependencyInfo() Found a duplicate entry");
            break;
        }
    }
    records.push_back(record);
}

std::vector<CDeviceInfo*> CSoftwareComponentInfo::getDependencyInfo() {
    std::vector<CDeviceInfo*> records;
    XPathResult dependencies = ParseXmlUsingXpath(
        " //SoftwareComponent/SupportedDevices/Device/Dependency"
        " | //SoftwareComponent/SupportedDevices/Device/SoftDependency");
    try {
        for (xmlNode* dependency : DescriptorXml::Elements(dependencies)) {
            std::unique_ptr<CDeviceInfo> record(new (std::nothrow) CDeviceInfo());
            if (!record) {
                CLOG(
                    "CSoftwareComponentInfo::getDependencyInfo() new  ( std::nothrow ) "
                    "CDeviceInfo() failed");
                continue;
            }
            record->setDeviceType(DEVICE_TYPE_NON_PCI);
            record->setDependencyType(NameIs(dependency, "SoftDependency") ? DEPENDENCY_SOFT
                                                                           : DEPENDENCY_HARD);
            ReadParent(dependency->parent, *record);
            record->setDependencyContext(GetAttributeValue(dependency, "context").value_or("OS"));
            record->setComponentID(DependencyAttribute(dependency, "componentID"));
            record->setComponentType(DependencyAttribute(dependency, "componentType"));
            record->setVersion(DependencyAttribute(dependency, "version"));
            record->setFilePath(DependencyAttribute(dependency, "path"));
            record->setReleaseID(DependencyAttribute(dependency, "releaseID"));

            bool platformsRead = false;
            std::vector<SOSInfo> systems;
            for (xmlNode* child = xmlFirstElementChild(dependency); child != nullptr;
                 child = xmlNextElementSibling(child)) {
                if (NameIs(child, "Display")) {
                    record->setDisplay(DescriptorXml::Text(child));
                } else if (NameIs(child, "Detail")) {
                    record->setDetail(DescriptorXml::Text(child));
                } else if (NameIsEither(child, "Brand", "DepBrand") && !platformsRead) {
                    // getPlatformInfo reads this brand and every later one.
                    std::vector<std::string> platforms = getPlatformInfo(child);
                    record->setDependencyPlatforms(platforms);
                    platformsRead = true;
                } else if (NameIsEither(child, "OperatingSystem", "DepOperatingSystem")) {
                    systems.push_back(ReadOperatingSystem(child));
                } else if (NameIsEither(child, "PCIInfo", "DepPCIInfo")) {
                    record->setPCIInfo(ReadPciIdentifiers(child));
                    record->setDeviceType(DEVICE_TYPE_PCI);
                }
            }
            record->setDependencyOS(systems);

            CDeviceInfo* added = record.get();
            AddDependencyInfo(records, added);
            static_cast<void>(record.release());  // the list owns it now
        }
    } catch (...) {
        for (CDeviceInfo* record : records) {
            delete record;
        }
        throw;
    }
    return records;
}
