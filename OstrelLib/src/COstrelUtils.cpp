#include "COstrelUtils.h"

#include "CIPMICommandManagement.h"
#include "CPlatformLayer.h"
#include "KORLogger.h"
#include "VEKErrorReporting.h"

namespace VEKOstrelCommon {

using IPMIFramework::CIPMICommandManagement;

namespace {

const char* const kOrinStatusCommand = "OrinStatus";
const char* const kAccessCommand = "OstrelAccessEnabled";
const char* const kTypeCommand = "OstrelType";
const char* const kCapabilityCommand = "OstrelCapability";
const char* const kGUIDCommand = "GUIDEnableCheck";
const char* const kGenerationCommand = "SystemGeneration";

constexpr int kOrinStatusPosition = 5;
constexpr int kAccessPosition = 4;
constexpr int kTypePosition = 4;
constexpr int kCapabilityPosition = 7;
constexpr int kGUIDPosition = 6;
constexpr int kGenerationPosition = 9;

constexpr unsigned int kGPGCapabilityBit = 0x02;
constexpr int kMaxOrinChecks = 100;
constexpr int kOrinPauseSeconds = 5;

enum class OrinOutcome { kReady, kWait, kNotReady };

struct OrinStatus {
    const char* text;
    OrinOutcome outcome;
};

// Status 3 and 6 to 255 are not listed: not ready, without a text.
OrinStatus LookUpOrinStatus(unsigned int status) {
    switch (status) {
        case 0:
            return {"Orin is ready.", OrinOutcome::kReady};
        case 1:
            return {"Orin is not Ready.", OrinOutcome::kWait};
        case 2:
            return {"Orin is Reloading.", OrinOutcome::kWait};
        case 4:
            return {"Orin is Recovering.", OrinOutcome::kWait};
        case 5:
            return {"Orin is being used.", OrinOutcome::kReady};
        default:
            return {nullptr, OrinOutcome::kNotReady};
    }
}

SYSTEM_GEN_TYPE MapGeneration(unsigned int value) {
    // The ranges overlap; they are tested in this order.
    if (value <= 14)
        return SYSTEM_GEN_0;
    if (value >= 48 && value <= 50)
        return SYSTEM_GEN_3;
    if (value >= 64 && value <= 66)
        return SYSTEM_GEN_5;
    if (value > 21)
        return SYSTEM_GEN_2;
    return SYSTEM_GEN_1;
}

}  // namespace

const char* const OSTREL_TYPE_INFO[4] = {"Full Ostrel", "Lite Ostrel", "Liter Ostrel",
                                         "No Ostrel Available"};

OSTREL_TYPE COstrelUtils::eOstrelType = OSTREL_TYPE_NONE;
bool COstrelUtils::bIsOstrelEnabled = false;
DIGEST_TYPE COstrelUtils::eOstrelCapability = DIGEST_TYPE_UNKNOWN;
int COstrelUtils::m_iGUID = 0;
SYSTEM_GEN_TYPE COstrelUtils::eSystemGenType = SYSTEM_GEN_UNKNOWN;

bool COstrelUtils::CheckOrinRunningStatus(CIPMICommandManagement* catalogue) {
    VEK_TRY {
        for (int retries = 0;;) {
            if (catalogue->ProcessIPMICommandReading(kOrinStatusCommand, kOrinStatusPosition) != 0)
                return false;
            const OrinStatus status = LookUpOrinStatus(
                catalogue->GetIPMIResponse(kOrinStatusCommand, kOrinStatusPosition, 1));
            if (status.outcome == OrinOutcome::kNotReady)
                return false;
            if (status.outcome == OrinOutcome::kReady) {
                KOR_LOG(KOR_LOG_ERROR, "COstrelUtils::CheckOrinRunningStatus() : %s", status.text);
                return true;
            }
            KOR_LOG(KOR_LOG_WARN, "COstrelUtils::CheckOrinRunningStatus() : %s. Retrying times %d.",
                    status.text, retries);
            CPlatformLayer::Sleep(kOrinPauseSeconds);
            if (++retries >= kMaxOrinChecks) {
                KOR_LOG(KOR_LOG_ERROR, "COstrelUtils::CheckOrinRunningStatus() : %s", status.text);
                return false;
            }
        }
    }
    VEK_PASS_ON;
}

bool COstrelUtils::CheckOstrelAccessEnabled(CIPMICommandManagement* catalogue) {
    VEK_TRY {
        if (bIsOstrelEnabled)
            return true;
        // A refusal is not kept: the next call asks again.
        if (catalogue->ProcessIPMICommandReading(kAccessCommand, kAccessPosition) == 0 &&
            catalogue->GetIPMIResponse(kAccessCommand, kAccessPosition, 1) == 0)
            bIsOstrelEnabled = true;
        return bIsOstrelEnabled;
    }
    VEK_PASS_ON;
}

OSTREL_TYPE COstrelUtils::GetOstrelType(CIPMICommandManagement* catalogue) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelUtils::GetOstrelType() Entering.");
        // A controller without staging storage is asked again on every call.
        if (eOstrelType != OSTREL_TYPE_NONE)
            return eOstrelType;
        if (catalogue->ProcessIPMICommandReading(kTypeCommand, kTypePosition) != 0)
            return OSTREL_TYPE_NONE;
        const unsigned int type = catalogue->GetIPMIResponse(kTypeCommand, kTypePosition, 1);
        if (type > OSTREL_TYPE_LITER) {
            eOstrelType = OSTREL_TYPE_NONE;
            return eOstrelType;
        }
        eOstrelType = static_cast<OSTREL_TYPE>(type);
        KOR_LOG(KOR_LOG_DEBUG, "COstrelUtils::GetOstrelType() leaving.");
        return eOstrelType;
    }
    VEK_PASS_ON;
}

DIGEST_TYPE COstrelUtils::GetOstrelCapability(CIPMICommandManagement* catalogue) {
    VEK_TRY {
        if (eOstrelCapability != DIGEST_TYPE_UNKNOWN)
            return eOstrelCapability;
        if (catalogue->ProcessIPMICommandReading(kCapabilityCommand, kCapabilityPosition) != 0)
            return DIGEST_TYPE_UNKNOWN;
        const unsigned int capability =
            catalogue->GetIPMIResponse(kCapabilityCommand, kCapabilityPosition, 1);
        eOstrelCapability =
            (capability & kGPGCapabilityBit) != 0 ? DIGEST_TYPE_GPG : DIGEST_TYPE_SHA256;
        return eOstrelCapability;
    }
    VEK_PASS_ON;
}

bool COstrelUtils::CheckGloballyUniqueIDEnabled(CIPMICommandManagement* catalogue) {
    VEK_TRY {
        if (m_iGUID != 0)
            return true;
        if (catalogue->ProcessIPMICommandReading(kGUIDCommand, kGUIDPosition) != 0 ||
            catalogue->GetIPMIResponse(kGUIDCommand, kGUIDPosition, 1) != 0)
            return false;
        m_iGUID = 1;
        return true;
    }
    VEK_PASS_ON;
}

SYSTEM_GEN_TYPE COstrelUtils::GetSystemGeneration(CIPMICommandManagement* catalogue) {
    VEK_TRY {
        if (eSystemGenType != SYSTEM_GEN_UNKNOWN)
            return eSystemGenType;
        if (catalogue->ProcessIPMICommandReading(kGenerationCommand, kGenerationPosition) != 0)
            return SYSTEM_GEN_UNKNOWN;
        eSystemGenType =
            MapGeneration(catalogue->GetIPMIResponse(kGenerationCommand, kGenerationPosition, 1));
        return eSystemGenType;
    }
    VEK_PASS_ON;
}

}  // namespace VEKOstrelCommon
