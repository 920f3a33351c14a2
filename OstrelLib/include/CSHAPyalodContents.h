#pragma once
// The SHA-256 security method: "package.xml" travels with the payload, a
// manifest "input_secupd.xml" at the partition's root lists every copied file
// with its SHA-256 digest, and the manifest's own digest is sent to the
// controller in pieces of 10 characters.

#include <string>

#include "CPyalodContents.h"

namespace FirmwareFramework {

// The manifest's file name, at the root of the partition.
extern const char* const UPDATE_XML_FILE_NAME;

class CSHAPyalodContents : public CPyalodContents {
public:
    CSHAPyalodContents(std::string& name, IPMIFramework::CIPMICommandManagement* catalogue);
    ~CSHAPyalodContents() override;

    // Base directory + "package.xml"; code 74 when missing or empty.
    void CollectPackageXMLFile() override;
    // Writes the manifest, then sends "SecureStageDataTransferSHA" and the
    // digest pieces through "SecureStageXMLHashTransferSHA"; code 24 when
    // the controller refuses one.
    void TransferUpdateXMLHeader(const std::string& mountPoint) override;

    // Writes the manifest of the collected files at mountPoint and sets
    // `digest` to its SHA-256 as 64 lowercase hex digits; code 31 when the
    // manifest cannot be written. A payload file that cannot be digested
    // (unreadable, or empty) is logged by name and lets the digest's own text
    // (a std::string) pass on, recording no code.
    void GenerateUpdateXML(const std::string& mountPoint, std::string& digest);
};

}  // namespace FirmwareFramework
