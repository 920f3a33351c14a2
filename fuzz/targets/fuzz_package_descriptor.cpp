// Every query of the package descriptor reader on an arbitrary "package.xml"
// given as text; the dependency records it hands out are the caller's.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "CDeviceInfo.h"
#include "CSoftwareComponentInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string xml(reinterpret_cast<const char*>(data), size);
    CSoftwareComponentInfo descriptor(xml);
    descriptor.GetComponentDisplayString();
    descriptor.GetComponentTypeDisplayString();
    descriptor.GetValue("//SoftwareComponent/Name/Display", "lang");
    std::string componentID = descriptor.GetComponentID();
    descriptor.GetComponentVersion();
    descriptor.getMarketingNameForNonPCIDevice(componentID);
    descriptor.GetPackageID();
    descriptor.GetComponentType();
    descriptor.getPresenceOfRollbackInfo();
    descriptor.GetMinComponentID();
    descriptor.getCompIDMarkNameInfo();
    for (SPCIInfo& device : descriptor.GetSupportedDevices())
        descriptor.getMarketingNameForPCIDevice(device);
    for (CDeviceInfo* record : descriptor.getDependencyInfo())
        delete record;
    // The descriptor's own text doubles as the inventory to search.
    std::stringstream inventory(xml);
    std::stringstream found;
    descriptor.GetInvFromOrinL(componentID, inventory, found);
    return 0;
}
