#include "RecordPrinter.h"

#include <cstdio>

#include "Json.h"

namespace {

std::string PciAsJson(const SPCIInfo& pci) {
    return JsonObject()
        .String("componentID", pci.strComponentID)
        .String("deviceID", pci.strDeviceID)
        .String("subDeviceID", pci.strSubDeviceID)
        .String("vendorID", pci.strVendorID)
        .String("subVendorID", pci.strSubVendorID)
        .String("display", pci.strDisplay)
        .Text();
}

std::string OsAsJson(const SOSInfo& os) {
    return JsonObject()
        .String("majorVersion", os.strMajorVersion)
        .String("minorVersion", os.strMinorVersion)
        .String("spMajorVersion", os.strSPMajorVersion)
        .String("spMinorVersion", os.strSPMinorVersion)
        .String("vendor", os.strOSVendor)
        .String("architecture", os.strOSArch)
        .String("suiteMask", os.strSuiteMask)
        .String("productType", os.strProductType)
        .String("buildNumber", os.strBuildNumber)
        .Text();
}

template <typename Item, typename Convert>
std::string ArrayOf(const std::vector<Item>& items, Convert convert) {
    std::vector<std::string> values;
    values.reserve(items.size());
    for (const Item& item : items) {
        values.push_back(convert(item));
    }
    return JsonArray(values);
}

}  // namespace

void PrintRecordsAsText(const std::vector<CDeviceInfo*>& records, std::ostream& out) {
    if (records.empty()) {
        out << "no device record\n";
    }
    for (CDeviceInfo* record : records) {
        out << "status:         " << record->getStatus() << "\n"
            << "message ID:     " << record->getMessageID() << "\n"
            << "error message:  " << record->getErrorMsg() << "\n"
            << "device name:    " << record->getDeviceName() << "\n"
            << "component type: " << record->getComponentType() << "\n"
            << "component ID:   " << record->getComponentID() << "\n"
            << "version:        " << record->getVersion() << "\n"
            << "device type:    " << static_cast<int>(record->getDeviceType()) << "\n";
    }
}

std::string RecordAsJson(CDeviceInfo& record) {
    const _BDFInfo bdf = record.getBDFInfo();
    const CSystemInfo* system = record.getSystemInfo();
    const std::vector<CDeviceApplicationInfo*>* applications = record.getApplicationInfo();
    char handle[32] = "";
    std::snprintf(handle, sizeof handle, "%p", record.getDeviceHandle());
    return JsonObject()
        .Number("status", record.getStatus())
        .Number("messageID", record.getMessageID())
        .String("errorMessage", record.getErrorMsg())
        .Number("updateStatus", record.getUpdateStatus())
        .Bool("rebootRequired", record.getRebootRequired())
        .String("releaseID", record.getReleaseID())
        .String("componentID", record.getComponentID())
        .String("parentComponentID", record.getParentComponentID())
        .Number("parentDeviceType", record.getParentDeviceType())
        .String("componentType", record.getComponentType())
        .String("deviceName", record.getDeviceName())
        .String("version", record.getVersion())
        .String("currentVersion", record.getCurrentVersion())
        .Raw("pciInfo", PciAsJson(record.getPCIInfo()))
        .Raw("parentPCIInfo", ArrayOf(record.getParentPCIInfo(), PciAsJson))
        .Number("dependencyType", record.getDependencyType())
        .String("dependencyContext", record.getDependencyContext())
        .Raw("dependencyPlatforms", ArrayOf(record.getDepenendencyPlatforms(), JsonString))
        .Raw("dependencyOS", ArrayOf(record.getDependencyOS(), OsAsJson))
        .Number("applicationInfoCount",
                applications == nullptr ? 0 : static_cast<long long>(applications->size()))
        .String("display", record.getDisplay())
        .String("detail", record.getDetail())
        .String("filePath", record.getFilePath())
        .String("enumId", record.getEnumId())
        .Raw("bdfInfo", JsonObject()
                            .Number("bus", bdf.ucBus)
                            .Number("device", bdf.ucDevice)
                            .Number("function", bdf.ucFunction)
                            .Text())
        .String("deviceIdentifier", record.getDeviceIdentifier())
        .Raw("deviceHandle", record.getDeviceHandle() == nullptr ? "null" : JsonString(handle))
        .String("fqdd", record.getFQDDInfo())
        .Raw("systemInfo", system == nullptr ? "null"
                                             : JsonObject()
                                                   .String("systemID", system->strSystemID)
                                                   .String("systemName", system->strSystemName)
                                                   .String("serviceTag", system->strServiceTag)
                                                   .String("biosVersion", system->strBIOSVersion)
                                                   .Text())
        .Number("deviceType", record.getDeviceType())
        .Text();
}

void PrintResponse(unsigned int completionCode, const std::vector<unsigned char>& response,
                   std::ostream& out) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%02x", completionCode);
    out << "completion code: " << code << "\nresponse:";
    for (unsigned char byte : response) {
        char text[4];
        std::snprintf(text, sizeof text, " %02x", byte);
        out << text;
    }
    out << "\n";
}
