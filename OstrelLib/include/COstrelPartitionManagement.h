#pragma once
// The controller's dynamic partition "SECUPD", the carrier of the payload:
// created with a size that fits it, attached (the host then sees a new USB
// disk holding a FAT volume labelled "SECUPD"), found among the SCSI disks by
// that label, mounted, unmounted, detached and deleted.
//
//     COstrelPartitionManagement partition(catalogue);
//     partition.CleanupExistingDynamicPartitions();  // leftovers of an earlier run
//     partition.CreateDynamicPartition(totalBytes);
//     partition.AttachDynamicPartition();            // also finds and mounts it
//     std::string destination;
//     partition.GetDynamicPartitionVolumeName(destination);
//     ...                                            // payload copied there
//     partition.DettachDynamicPartition();
//     ...                                            // stage command
//     partition.DeleteDynamicPartition();
//
// Deleting the object while a partition is still known, or while one this
// object created is still there, detaches and deletes it. Failures record an
// error code in the error catalogue and throw CVEKException. The mount point
// and device link are fixed paths, so one update at a time per host.

#include <string>

namespace IPMIFramework {
class CIPMICommandManagement;
}

namespace PartitionFramework {

// Partition name, volume label, mount directory name and device-link suffix.
extern const char* const dynDriveName;
// Parent of the mount directory on Linux.
extern const char* const RHatPartDir;
extern const char* const ESXi_RESCAN_COMMAND;
// The controller's virtual USB device (vendor 0624, product 0250) is present.
extern const char* const ESXi_IS_SECUPD_ATTACHED_COMMAND;
extern const char* const ESXi_AUTOMOUNT_COMMAND;
// Prefix of the test whether a volume is mounted; the volume name follows.
extern const char* const ESXi_LIST_MOUNTED_DEVICES;
// Where ESXi mounts the partition by itself.
extern const char* const ESXi_DEVICE_PATH;

// The two low bytes of value exchanged: a partition's bit in the controller's
// map turned into the handle that goes on the wire high byte first.
unsigned short swapBytes(unsigned int value);

// Runs the command line through the shell and returns at most its first 512
// bytes of output, up to the first NUL byte; empty when it could not start.
std::string executeCmd(const std::string& command);

class COstrelPartitionManagement {
public:
    // Keeps the catalogue (not owned); sends nothing.
    explicit COstrelPartitionManagement(IPMIFramework::CIPMICommandManagement* catalogue);
    // Detaches and deletes a partition still known, and one this object
    // created; never throws, and a failing step does not keep the later ones
    // from running.
    ~COstrelPartitionManagement();
    COstrelPartitionManagement(const COstrelPartitionManagement&) = delete;
    COstrelPartitionManagement& operator=(const COstrelPartitionManagement&) = delete;

    // The partition this object knows, or else every partition in the
    // controller's map whatever its name: detached and deleted (which
    // unmounts). With an empty map, what an earlier update left mounted on
    // the mount directory is unmounted and its device links removed (Linux).
    void CleanupExistingDynamicPartitions();
    // size in bytes, rounded up to 32768-byte units; code 22 when the
    // controller refuses or no partition appears. Only a new partition the
    // controller names "SECUPD" becomes the one the later steps use; any
    // other leaves the handle as it was, so that the attach is refused.
    void CreateDynamicPartition(long long size);
    // Attaches and mounts; code 27 when the controller refuses, 37 when five
    // mount attempts fail.
    void AttachDynamicPartition();
    // The mount directory; code 27 while nothing is mounted.
    void GetDynamicPartitionVolumeName(std::string& path);
    // Unmounts (a failure is only logged) and detaches; code 23 when the
    // controller answers other than 0 or 6. The handle stays set.
    void DettachDynamicPartition();
    // Code 44 when the controller refuses; the handle is cleared either way.
    void DeleteDynamicPartition();

    // Queries the partitions whose bits are set in map, stores the handle of
    // the one named "SECUPD" and returns the name of the last one queried;
    // code 31 when the controller refuses.
    std::string GetDynamicPartitionInfo(unsigned int map);
    // The controller's partition map (bit i: partition i exists); code 31
    // when the controller refuses.
    unsigned short GetDynamicPartitionIndexInfo();

    bool MountDynPartition();
    bool UnmountDynPartition();
    // The device holding the volume name (Linux) or the mounted volume
    // (ESXi); empty when not found after 10 passes.
    std::string getDevicePath(std::string& name);
    // ESXi: rescans until the detached volume is gone.
    void CleanMountedPartition();
    // ESX 4: rescans every storage adapter so that the detached disk goes.
    void ESX_RemoveEntries();

private:
    // Detaches and deletes the partition of the handle; a failing step is
    // logged and does not keep the other from running.
    void RemoveKnownPartition();

    unsigned short m_usPartitionIndex;
    std::string m_strMountPath;
    IPMIFramework::CIPMICommandManagement* m_pIPMICommandManagement;
    std::string m_strLinkPath;
    // The handle of the partition the create made, until it is deleted; 0
    // when none. It need not be the one named "SECUPD".
    unsigned short m_usCreatedPartition;
};

}  // namespace PartitionFramework
