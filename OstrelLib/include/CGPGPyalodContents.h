#pragma once
// The GPG security method: "package.xml" and its detached signature
// "package.xml.sign" travel with the payload; nothing else is sent.

#include <string>

#include "CPyalodContents.h"

namespace FirmwareFramework {

class CGPGPyalodContents : public CPyalodContents {
public:
    CGPGPyalodContents(std::string& name, IPMIFramework::CIPMICommandManagement* catalogue);
    ~CGPGPyalodContents() override;

    // Base directory + "package.xml", then its ".sign" file; code 74 when
    // either is missing or empty.
    void CollectPackageXMLFile() override;
    // Nothing: the signature already lies on the partition.
    void TransferUpdateXMLHeader(const std::string& mountPoint) override;
};

}  // namespace FirmwareFramework
