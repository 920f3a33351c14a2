#pragma once
// Asks the controller which payload security method it wants and creates the
// matching payload object.

#include <string>

#include "DigestType.h"

namespace IPMIFramework {
class CIPMICommandManagement;
}
namespace FirmwareFramework {
class CPyalodContents;
}

namespace PayloadFramework {

class CPayloadCapabilityFactory {
public:
    CPayloadCapabilityFactory() = default;

    // A new payload object for the payload directory `name`, owned by the
    // caller, and the controller's method in `method`; null when the
    // controller does not report GUIDs as enabled (`method` untouched) or
    // names a method other than SHA-256 and GPG.
    static FirmwareFramework::CPyalodContents* GetPaylodCapabilityObject(
        IPMIFramework::CIPMICommandManagement* catalogue, std::string name, DIGEST_TYPE& method);
};

}  // namespace PayloadFramework
