#pragma once
// The controller's answers that decide whether and how an update may run:
// Orin service readiness, staging storage type and access, GUID support, the
// payload security method and the server generation. Each query sends one
// named command through the catalogue and reads one byte of its response.
//
// Answers are kept for the life of the process once the controller gave a
// usable one; a refusal, a failed command and "no staging storage" are asked
// again on the next call. Not synchronised: used by the thread running the
// update. Exceptions of the catalogue (unknown command, failed transfer)
// pass to the caller.

#include "DigestType.h"

namespace IPMIFramework {
class CIPMICommandManagement;
}

namespace VEKOstrelCommon {

// Staging storage types; also the indexes of OSTREL_TYPE_INFO.
enum OSTREL_TYPE {
    OSTREL_TYPE_FULL = 0,
    OSTREL_TYPE_LITE = 1,
    OSTREL_TYPE_LITER = 2,
    OSTREL_TYPE_NONE = 3
};

// Names of the staging storage types, indexed by OSTREL_TYPE.
extern const char* const OSTREL_TYPE_INFO[4];

// Server generations as the controller reports them; the numbers carry no
// names in this system. SYSTEM_GEN_UNKNOWN: no answer read yet.
enum SYSTEM_GEN_TYPE {
    SYSTEM_GEN_0 = 0,
    SYSTEM_GEN_1 = 1,
    SYSTEM_GEN_2 = 2,
    SYSTEM_GEN_3 = 3,
    SYSTEM_GEN_UNKNOWN = 4,
    SYSTEM_GEN_5 = 5
};

class COstrelUtils {
public:
    COstrelUtils() = delete;

    // True when the Orin service is ready or in use; waits while it reports
    // not ready, reloading or recovering, for at most 100 checks 5 seconds apart.
    static bool CheckOrinRunningStatus(IPMIFramework::CIPMICommandManagement* catalogue);
    static bool CheckOstrelAccessEnabled(IPMIFramework::CIPMICommandManagement* catalogue);
    static OSTREL_TYPE GetOstrelType(IPMIFramework::CIPMICommandManagement* catalogue);
    // DIGEST_TYPE_UNKNOWN when the controller refused the question.
    static DIGEST_TYPE GetOstrelCapability(IPMIFramework::CIPMICommandManagement* catalogue);
    static bool CheckGloballyUniqueIDEnabled(IPMIFramework::CIPMICommandManagement* catalogue);
    // SYSTEM_GEN_UNKNOWN when the controller refused the question.
    static SYSTEM_GEN_TYPE GetSystemGeneration(IPMIFramework::CIPMICommandManagement* catalogue);

private:
    static OSTREL_TYPE eOstrelType;
    static bool bIsOstrelEnabled;
    static DIGEST_TYPE eOstrelCapability;
    static int m_iGUID;
    static SYSTEM_GEN_TYPE eSystemGenType;
};

}  // namespace VEKOstrelCommon
