#include "CGPGPyalodContents.h"

#include "KORLogger.h"
#include "VEKErrorReporting.h"

namespace FirmwareFramework {

CGPGPyalodContents::CGPGPyalodContents(std::string& name,
                                       IPMIFramework::CIPMICommandManagement* catalogue)
    : CPyalodContents(name, catalogue) {}

CGPGPyalodContents::~CGPGPyalodContents() = default;

void CGPGPyalodContents::CollectPackageXMLFile() {
    VEK_TRY {
        const std::string descriptor = m_strBaseDirectory + "package.xml";
        AddPackageFile(descriptor);
        AddPackageFile(descriptor + ".sign");
    }
    VEK_PASS_ON;
}

void CGPGPyalodContents::TransferUpdateXMLHeader(const std::string& mountPoint) {
    KOR_LOG(KOR_LOG_DEBUG,
            "CGPGPyalodContents::TransferUpdateXMLHeader() Nothing to send for mount point %s.",
            mountPoint.c_str());
}

}  // namespace FirmwareFramework
