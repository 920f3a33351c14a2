#pragma once
// The update payload: the files of the payload directory beside the host
// program's executable, together with the package description files the
// security method needs. Collects them, works out the partition size to ask
// the controller for, copies everything onto the mounted partition and
// flushes it. The two method-specific steps are supplied by the variants
// (CSHAPyalodContents, CGPGPyalodContents).
//
//     CPyalodContents* payload = CPayloadCapabilityFactory::GetPaylodCapabilityObject(...);
//     payload->CollectUpdateContents();
//     partitions->CreateDynamicPartition(payload->GetTotalSize());
//     ...                                   // attach and mount
//     payload->UploadUpdateContents(mountPoint);
//     delete payload;
//
// Failures record an error code in the error catalogue and throw
// CVEKException. Used by the thread running the update only.

#include <string>
#include <vector>

namespace IPMIFramework {
class CIPMICommandManagement;
}

namespace FirmwareFramework {

// The text after the last "/" of the path; "" when the path holds no "/".
std::string GetBasename(const std::string& path);

class CPyalodContents {
public:
    // Partition sizes in bytes.
    static constexpr long long kSmallPayloadLimit = 65535;
    static constexpr long long kMinimumPartitionSize = 1146880;    // 35 units of 32768
    static constexpr long long kPartitionMargin = 1081344;         // 33 units of 32768
    static constexpr long long kMaximumPartitionSize = 306184192;  // 292 MB
    static constexpr long long kPartitionUnit = 32768;

    // `name` is the payload directory's name ("payload"); the catalogue is
    // not owned.
    CPyalodContents(std::string& name, IPMIFramework::CIPMICommandManagement* catalogue);
    virtual ~CPyalodContents();
    CPyalodContents(const CPyalodContents&) = delete;
    CPyalodContents& operator=(const CPyalodContents&) = delete;

    // Collects the package files, then every file of the payload directory
    // (code 75 when it holds none; 31 when one is no regular file, or has a
    // name that does not decode back to its own bytes), and sets the
    // partition size.
    virtual void CollectUpdateContents();
    // Copies the files, hands the method's manifest over, flushes.
    virtual void UploadUpdateContents(const std::string& mountPoint);
    // Appends the method's package description files; code 74 when one is
    // missing or empty.
    virtual void CollectPackageXMLFile() = 0;
    // Runs after the copy, before the flush, with the same mount point.
    virtual void TransferUpdateXMLHeader(const std::string& mountPoint) = 0;

    // Every collected file onto mountPoint + "/" + name, flattened, each
    // under its exact base name and flushed to the disk; code 31 when a
    // directory or a file cannot be made or written in full.
    void CopyUpdateContents(const std::string& mountPoint);
    void SyncAll(const std::string& mountPoint);

    // After CollectUpdateContents: the partition size to request, in bytes.
    long long GetTotalSize() const;
    // Full paths of every file to copy, in collection order.
    const std::vector<std::string>& GetContents() const;

protected:
    // Appends a package description file and adds its size; code 74 when it
    // is missing or empty.
    void AddPackageFile(const std::string& path);

    std::vector<std::string> m_vecContents;
    long long m_llTotalSize;
    // The executable's directory followed by "/".
    std::string m_strBaseDirectory;
    // "/" followed by the payload name.
    std::string m_strPayloadSubdirectory;
    std::string m_strPayloadName;
    IPMIFramework::CIPMICommandManagement* m_pIPMICommandManagement;
};

}  // namespace FirmwareFramework
