#include "CPyalodContents.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "KORFile.h"
#include "KORFileType.h"
#include "KORFileUtil.h"
#include "KORLogger.h"
#include "KORString.h"
#include "KORSystem.h"
#include "PayloadFileTransfer.h"
#include "VEKErrorCodes.h"
#include "VEKErrorReporting.h"

namespace FirmwareFramework {

namespace {

// Copies go through one buffer of this size: large reads and writes keep the
// copy at the disk's speed.
constexpr std::size_t kCopyBufferSize = std::size_t{1024} * 1024;

constexpr int kMaximumPartitionMegabytes = 292;

// The partition size for `total` bytes of payload: at least the minimum,
// whole units with a margin above it, never more than the maximum.
long long PartitionSizeFor(long long total) {
    long long size = CPyalodContents::kMinimumPartitionSize;
    if (total > CPyalodContents::kSmallPayloadLimit)
        size = total / CPyalodContents::kPartitionUnit * CPyalodContents::kPartitionUnit +
               CPyalodContents::kPartitionMargin;
    if (size > CPyalodContents::kMaximumPartitionSize) {
        KOR_LOG(KOR_LOG_WARN,
                "Total size of update content (%lld) is greater than max limit %d MB.", size,
                kMaximumPartitionMegabytes);
        size = CPyalodContents::kMaximumPartitionSize;
    }
    return size;
}

// A FIFO, a socket or a device among the package's files (or a link to one)
// cannot be copied: refused before the controller is asked for anything.
void RefuseUnlessRegular(const std::string& path, int code) {
    if (const std::optional<std::string> found = KORIrregularFileAt(path)) {
        KOR_LOG(KOR_LOG_ERROR, "Package file %s is %s, not a regular file.", path.c_str(),
                found->c_str());
        VEK_RAISE(code);
    }
}

// The name with every byte other than printable ASCII, and the backslash,
// as \xNN: whatever its bytes, it makes one readable log line.
std::string HexEscaped(const std::string& name) {
    std::string escaped;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            escaped += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            escaped += hex;
        }
    }
    return escaped;
}

// The listing hands each name over through the library's text type, which
// decodes UTF-8 laxly: an overlong C0 AE C0 AE C0 AF reads as "../". A name
// whose bytes do not decode and encode back to themselves would be read
// from another path than its own, outside the payload directory even, and
// staged. Every entry the listing hands over (all but the subdirectories) is
// checked by its own bytes, and the first such name refuses the package.
// A name that reads back as itself holds no "/" and is neither "." nor "..",
// as no entry's name does or is.
void RefuseNamesNotReadBackAsThemselves(const std::string& directory) {
    std::vector<std::string> names;
    if (!KORFileUtil::GetEntryNameBytes(directory, names)) {
        KOR_LOG(KOR_LOG_ERROR, "Reading the update content directory %s failed: %s.",
                directory.c_str(), std::strerror(errno));
        VEK_RAISE(VEKErrorCode::kInternalFailure);
    }
    for (const std::string& name : names) {
        if (KORString(name).GetUTF8String() != name) {
            KOR_LOG(KOR_LOG_ERROR,
                    "Update content %s/%s is refused: its name does not decode back to the "
                    "same bytes.",
                    directory.c_str(), HexEscaped(name).c_str());
            VEK_RAISE(VEKErrorCode::kInternalFailure);
        }
    }
}

}  // namespace

std::string GetBasename(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

CPyalodContents::CPyalodContents(std::string& name,
                                 IPMIFramework::CIPMICommandManagement* catalogue)
    : m_llTotalSize(0), m_strPayloadName(name), m_pIPMICommandManagement(catalogue) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "CPyalodContents::CPyalodContents() Entering.");
        m_strBaseDirectory = KORFileUtil::GetCurrentExecutablePath(false).GetUTF8String() + "/";
        m_strPayloadSubdirectory = "/" + name;
        KOR_LOG(KOR_LOG_DEBUG, "CPyalodContents::CPyalodContents() Leaving.");
    }
    VEK_PASS_ON;
}

CPyalodContents::~CPyalodContents() {
    m_vecContents.clear();
}

void CPyalodContents::CollectUpdateContents() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "CPyalodContents::CollectUpdateContents() Entering.");
        CollectPackageXMLFile();
        const std::string directory = m_strBaseDirectory + "/" + m_strPayloadName;
        std::vector<KORString> names;
        KORFileUtil::GetFileNamesInDirectory(directory, "", "", "", names, true);
        if (names.empty()) {
            KOR_LOG(KOR_LOG_ERROR, "No update content found in %s.", directory.c_str());
            VEK_RAISE(VEKErrorCode::kPayloadEmpty);
        }
        RefuseNamesNotReadBackAsThemselves(directory);
        for (const KORString& name : names) {
            RefuseUnlessRegular(name.GetUTF8String(), VEKErrorCode::kInternalFailure);
            m_llTotalSize += static_cast<long long>(KORFile(name).GetSize());
            m_vecContents.push_back(name.GetUTF8String());
            KOR_LOG(KOR_LOG_DEBUG, "Update contents : %s", m_vecContents.back().c_str());
        }
        m_llTotalSize = PartitionSizeFor(m_llTotalSize);
        KOR_LOG(KOR_LOG_DEBUG, "CPyalodContents::CollectUpdateContents() Leaving.");
    }
    VEK_PASS_ON;
}

void CPyalodContents::UploadUpdateContents(const std::string& mountPoint) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "CPyalodContents::UploadUpdateContents() Entering.");
        CopyUpdateContents(mountPoint);
        TransferUpdateXMLHeader(mountPoint);
        SyncAll(mountPoint);
        KOR_LOG(KOR_LOG_DEBUG, "CPyalodContents::UploadUpdateContents() Leaving.");
    }
    VEK_PASS_ON;
}

void CPyalodContents::CopyUpdateContents(const std::string& mountPoint) {
    VEK_TRY {
        const std::string directory = mountPoint + m_strPayloadSubdirectory;
        std::string failure;
        if (!MakeDirectoryPath(directory, failure)) {
            KOR_LOG(KOR_LOG_ERROR, "Making the update content directory failed: %s.",
                    failure.c_str());
            VEK_RAISE(VEKErrorCode::kInternalFailure);
        }
        KOR_LOG(KOR_LOG_INFO, "Made update content directory : (%s)", directory.c_str());
        std::vector<char> buffer(kCopyBufferSize);
        for (const std::string& source : m_vecContents) {
            const std::string destination = directory + "/" + GetBasename(source);
            if (!CopyFileFlushed(source, destination, buffer, failure)) {
                KOR_LOG(KOR_LOG_ERROR, "Copying update content %s to %s failed: %s.",
                        source.c_str(), destination.c_str(), failure.c_str());
                VEK_RAISE(VEKErrorCode::kInternalFailure);
            }
            KOR_LOG(KOR_LOG_INFO, "Copied update content : (%s) to (%s)", source.c_str(),
                    destination.c_str());
        }
    }
    VEK_PASS_ON;
}

void CPyalodContents::SyncAll(const std::string& mountPoint) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "CPyalodContents::SyncAll() Entering for mount point is %s.",
                mountPoint.c_str());
        // Every file is already flushed on its own; this flushes the volume's
        // own structures before the partition is detached.
        if (!KORSystem::RunCommandLine("sync").Succeeded())
            KOR_LOG(KOR_LOG_WARN, "Command sync failed.");
    }
    VEK_PASS_ON;
}

long long CPyalodContents::GetTotalSize() const {
    return m_llTotalSize;
}

const std::vector<std::string>& CPyalodContents::GetContents() const {
    return m_vecContents;
}

void CPyalodContents::AddPackageFile(const std::string& path) {
    VEK_TRY {
        const KORFile file{KORString(path)};
        RefuseUnlessRegular(path, VEKErrorCode::kPackageFileMissing);
        if (!file.Exists() || file.IsEmpty()) {
            KOR_LOG(KOR_LOG_ERROR, "Package file %s is missing or empty.", path.c_str());
            VEK_RAISE(VEKErrorCode::kPackageFileMissing);
        }
        m_vecContents.push_back(path);
        m_llTotalSize += static_cast<long long>(file.GetSize());
    }
    VEK_PASS_ON;
}

}  // namespace FirmwareFramework
