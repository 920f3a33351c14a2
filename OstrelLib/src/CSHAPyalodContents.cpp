#include "CSHAPyalodContents.h"

#include "CIPMICommandManagement.h"
#include "CSHA.h"
#include "CVEKErrorInfo.h"
#include "KORLogger.h"
#include "ManifestText.h"
#include "PayloadFileTransfer.h"
#include "VEKErrorCodes.h"
#include "VEKErrorReporting.h"

namespace FirmwareFramework {

const char* const UPDATE_XML_FILE_NAME = "input_secupd.xml";

namespace {

const char* const kDataTransferCommand = "SecureStageDataTransferSHA";
const char* const kHashTransferCommand = "SecureStageXMLHashTransferSHA";
// The digest travels in pieces of 10 characters at request positions 8 to 17.
constexpr std::size_t kDigestPieceLength = 10;
constexpr int kDigestPiecePosition = 8;

void LogDigestFailure(const std::string& path, const char* reason) {
    KOR_LOG(KOR_LOG_ERROR, "Digest of update content %s failed: %s", path.c_str(), reason);
}

// The file's digest as 64 hex digits. The digest reports a file it cannot
// digest (unreadable, or empty) with a plain text that does not say which
// file: the file is named in the log here, and the text passes on untouched
// to the update's catch-all, which leaves the code recorded so far.
std::string FileDigest(CSHA& sha, const std::string& path) {
    char hex[65];
    try {
        sha.CalculateSHA256(path, true, hex);
    } catch (const std::string& text) {
        LogDigestFailure(path, text.c_str());
        throw;
    } catch (const char* text) {
        LogDigestFailure(path, text != nullptr ? text : "");
        throw;
    }
    return hex;
}

void SendOrRaise(IPMIFramework::CIPMICommandManagement* catalogue, const char* command) {
    const unsigned char completionCode = catalogue->ProcessIPMICommand(command);
    if (completionCode != 0) {
        KOR_LOG(KOR_LOG_ERROR, "Command %s failed with completion code 0x%02x.", command,
                completionCode);
        VEK_RAISE(VEKErrorCode::kManifestDigestNotSent);
    }
}

}  // namespace

CSHAPyalodContents::CSHAPyalodContents(std::string& name,
                                       IPMIFramework::CIPMICommandManagement* catalogue)
    : CPyalodContents(name, catalogue) {}

CSHAPyalodContents::~CSHAPyalodContents() = default;

void CSHAPyalodContents::CollectPackageXMLFile() {
    VEK_TRY {
        AddPackageFile(m_strBaseDirectory + "package.xml");
    }
    VEK_PASS_ON;
}

void CSHAPyalodContents::TransferUpdateXMLHeader(const std::string& mountPoint) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "CSHAPyalodContents::TransferUpdateXMLHeader() Entering.");
        std::string digest;
        GenerateUpdateXML(mountPoint, digest);
        SendOrRaise(m_pIPMICommandManagement, kDataTransferCommand);
        for (std::size_t offset = 0; offset < digest.size(); offset += kDigestPieceLength) {
            m_pIPMICommandManagement->SetIPMIRequest(kHashTransferCommand,
                                                     digest.substr(offset, kDigestPieceLength),
                                                     kDigestPieceLength, kDigestPiecePosition);
            SendOrRaise(m_pIPMICommandManagement, kHashTransferCommand);
        }
        KOR_LOG(KOR_LOG_DEBUG, "CSHAPyalodContents::TransferUpdateXMLHeader() Leaving.");
    }
    VEK_PASS_ON;
}

void CSHAPyalodContents::GenerateUpdateXML(const std::string& mountPoint, std::string& digest) {
    VEK_TRY {
        const std::string path = mountPoint + "/" + UPDATE_XML_FILE_NAME;
        FlushedFile file;
        std::string failure;
        if (!file.Open(path, failure)) {
            KOR_LOG(KOR_LOG_ERROR, "Writing the manifest failed: %s.", failure.c_str());
            ErrorFramework::CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode =
                VEKErrorCode::kInternalFailure;
            VEK_RAISE_WITH_MESSAGE(
                "Unable to open input_secupd.xml file to write ostrel update content.");
        }

        CSHA sha;
        ManifestText manifest;
        for (const std::string& source : m_vecContents) {
            if (!manifest.AddFile(m_strPayloadName + "/" + GetBasename(source),
                                  FileDigest(sha, source))) {
                KOR_LOG(KOR_LOG_ERROR,
                        "Update content %s has a name the manifest cannot hold (not UTF-8, or "
                        "a control character).",
                        source.c_str());
                VEK_RAISE(VEKErrorCode::kInternalFailure);
            }
        }
        const std::string text = manifest.Finished();

        if (!file.Write(text.data(), text.size(), failure) || !file.Finish(failure)) {
            KOR_LOG(KOR_LOG_ERROR, "Writing the manifest failed: %s.", failure.c_str());
            VEK_RAISE(VEKErrorCode::kInternalFailure);
        }
        KOR_LOG(KOR_LOG_DEBUG, "Content of %s :\n %s.", UPDATE_XML_FILE_NAME, text.c_str());

        char hex[65];
        sha.CalculateSHA256(text, false, hex);
        digest = hex;
    }
    VEK_PASS_ON;
}

}  // namespace FirmwareFramework
