#include "CPayloadCapabilityFactory.h"

#include "CGPGPyalodContents.h"
#include "COstrelUtils.h"
#include "CSHAPyalodContents.h"
#include "KORLogger.h"
#include "VEKErrorReporting.h"

namespace PayloadFramework {

FirmwareFramework::CPyalodContents* CPayloadCapabilityFactory::GetPaylodCapabilityObject(
    IPMIFramework::CIPMICommandManagement* catalogue, std::string name, DIGEST_TYPE& method) {
    VEK_TRY {
        using VEKOstrelCommon::COstrelUtils;
        if (!COstrelUtils::CheckGloballyUniqueIDEnabled(catalogue))
            return nullptr;
        KOR_LOG(KOR_LOG_INFO, "GUID is enabled. Going Update via Zeta Plus supported systems.");
        method = COstrelUtils::GetOstrelCapability(catalogue);
        switch (method) {
            case DIGEST_TYPE_SHA256:
                KOR_LOG(KOR_LOG_INFO,
                        "Executing update/rollback via SingleIPMI and SHA256 security method.");
                return new FirmwareFramework::CSHAPyalodContents(name, catalogue);
            case DIGEST_TYPE_GPG:
                KOR_LOG(KOR_LOG_INFO,
                        "Executing update/rollback via SingleIPMI and GPG security method");
                return new FirmwareFramework::CGPGPyalodContents(name, catalogue);
            default:
                return nullptr;
        }
    }
    VEK_PASS_ON;
}

}  // namespace PayloadFramework
