#include "CIPMICommandManagement.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "CINIParser.h"
#include "CPlatformLayer.h"
#include "KORIPMIInterfaceImpl.h"
#include "KORLogger.h"
#include "VEKErrorCodes.h"
#include "VEKErrorReporting.h"

namespace IPMIFramework {

namespace {

const char* const kCatalogueFile = "ipmi_cmd.ini";
const char* const kSessionCommand = "BeginOstrelSessionExtend";

// Transport settings of every catalogue request (intervals in milliseconds).
constexpr unsigned int kPollInterval = 60;
constexpr unsigned int kPollCount = 5;
constexpr unsigned int kRetryCount = 5;
constexpr unsigned int kRetryInterval = 50;

constexpr unsigned int kCompletionCodeIndex = 2;
// The controller accepted the command and is still working on it.
constexpr unsigned char kCompletionInProgress = 0x02;
// The controller refused the request's data, as it does for a session id
// that is not the one of its open session.
constexpr unsigned char kCompletionRefused = 0xCC;

// The fixed status poll: 0x30 0xA2 0x0A, the last request's positions 4 and 5
// (the session id of session-bound commands), its position 3 (the
// operation), two zero bytes. Its answer carries the execution status at
// position 6.
constexpr unsigned char kPollNetFn = 0x30;
constexpr unsigned char kPollCommand = 0xA2;
constexpr unsigned char kPollOperation = 0x0A;
constexpr unsigned int kPollRequestLength = 8;
constexpr unsigned int kPollResponseLength = 7;
constexpr unsigned int kPollDumpLength = 8;
constexpr unsigned int kPollStatusIndex = 5;
constexpr unsigned int kStatusRunning = 2;
constexpr unsigned int kMaxPolls = 2000;
constexpr int kPollPauseSeconds = 5;

unsigned int BoundToBuffer(unsigned int length) {
    return std::min(length, KOR_IPMI_MAX_BUFFER_LENGTH);
}

// The completion code of an answer of `received` bytes whose reader needs its
// bytes up to `lastPosition` (1-based): a success too short for them is none.
unsigned char CompletionCodeFor(unsigned char completionCode, unsigned int received,
                                long long lastPosition) {
    if (completionCode == 0 && lastPosition > static_cast<long long>(received))
        return CIPMICommandManagement::kCompletionShortAnswer;
    return completionCode;
}

}  // namespace

CIPMICommandManagement::CIPMICommandManagement()
    : m_pIPMIInterface(nullptr),
      m_stConfiguration{kPollInterval, kPollCount, kRetryCount, kRetryInterval, 0, 0},
      m_pCommandData(nullptr) {
    VEK_TRY {
        try {
            KOR_LOG(KOR_LOG_DEBUG, "CIPMICommandManagement::CIPMICommandManagement Entering.");
            m_pIPMIInterface = new KORIPMIInterfaceImpl();
            const unsigned int status = m_pIPMIInterface->Initialize(&m_stConfiguration);
            if (status != 0) {
                KOR_LOG(KOR_LOG_ERROR, "IPMI interface initialization failed with status 0x%x.",
                        status);
                VEK_RAISE(VEKErrorCode::kIpmiUnavailable);
            }
            m_pCommandData = new _KORIPMICommandData();
            LoadIPMIData(kCatalogueFile);
        } catch (...) {
            // No destructor runs for a constructor that throws. The front is
            // abandoned rather than deleted, so that logging stays on for the
            // caller's failure handling and other threads keep their sessions.
            KORIPMIInterfaceImpl::Abandon(m_pIPMIInterface);
            m_pIPMIInterface = nullptr;
            ReleaseResources();
            throw;
        }
    }
    VEK_PASS_ON;
}

CIPMICommandManagement::~CIPMICommandManagement() {
    ReleaseResources();
}

void CIPMICommandManagement::ReleaseResources() {
    if (m_pIPMIInterface != nullptr) {
        m_pIPMIInterface->Release();
        delete m_pIPMIInterface;
        m_pIPMIInterface = nullptr;
    }
    if (m_pCommandData != nullptr) {
        m_pCommandData->pConfiguration = nullptr;
        delete m_pCommandData;
        m_pCommandData = nullptr;
    }
    for (auto& command : m_mapIPMICommands)
        delete command.second;
    m_mapIPMICommands.clear();
}

void CIPMICommandManagement::LoadIPMIData(const char* path) {
    VEK_TRY {
        const std::string fileName = path != nullptr ? path : "";
        KOR_LOG(KOR_LOG_DEBUG, "CIPMICommandManagement::LoadIPMIData() Entering with INI file %s.",
                fileName.c_str());
        CINIParser parser{KORString(fileName)};
        if (!parser.OpenAndParse()) {
            KOR_LOG(KOR_LOG_ERROR, "IPMI command file %s could not be read.", fileName.c_str());
            VEK_RAISE(VEKErrorCode::kCommandFileUnusable);
        }
        // Collected apart first, so that a file rejected halfway adds nothing.
        std::map<std::string, std::unique_ptr<CIPMIDataStructure>> loaded;
        for (const std::string& section : parser.GetSectionNames()) {
            if (loaded.count(section) != 0)
                continue;
            const KORString name(section);
            auto entry = std::make_unique<CIPMIDataStructure>();
            entry->SetIPMIRequestFields(parser.GetValue(name, "Command"));
            entry->SetIPMIRequestLength(parser.GetValue(name, "RequestLength"));
            entry->SetIPMIResponseLength(parser.GetValue(name, "ResponseLength"));
            entry->SetSessionRequired(parser.GetValue(name, "IsSessionRequired"));
            entry->SetStaticExecution(parser.GetValue(name, "IsStaticExecution"));
            if (const char* problem = entry->FindMalformation()) {
                KOR_LOG(KOR_LOG_ERROR, "IPMI Command (%s) in INI file %s is malformed: %s.",
                        section.c_str(), fileName.c_str(), problem);
                VEK_RAISE(VEKErrorCode::kCommandFileUnusable);
            }
            loaded.emplace(section, std::move(entry));
        }
        if (loaded.empty()) {
            KOR_LOG(KOR_LOG_ERROR, "INI file %s defines no IPMI command.", fileName.c_str());
            VEK_RAISE(VEKErrorCode::kInternalFailure);
        }
        for (auto& command : loaded) {
            // The slot is made before ownership moves, so a failing insert leaks nothing.
            auto slot = m_mapIPMICommands.emplace(command.first, nullptr);
            if (slot.second)
                slot.first->second = command.second.release();
        }
        KOR_LOG(KOR_LOG_DEBUG, "CIPMICommandManagement::LoadIPMIData() Leaving.");
    }
    VEK_PASS_ON;
}

CIPMIDataStructure* CIPMICommandManagement::FindEntry(const std::string& name) {
    const auto found = m_mapIPMICommands.find(name);
    if (found == m_mapIPMICommands.end()) {
        KOR_LOG(KOR_LOG_ERROR, "Request IPMI Command (%s) does not find in INI file.",
                name.c_str());
        VEK_RAISE(VEKErrorCode::kCommandNotDefined);
    }
    return found->second;
}

unsigned char CIPMICommandManagement::ProcessIPMICommand(const std::string& name) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG,
                "CIPMICommandManagement::ProcessIPMICommand() request for IPMI Command %s.",
                name.c_str());
        CIPMIDataStructure* entry = FindEntry(name);
        if (entry->m_bIsSessionRequired)
            PopulateSessionValue(entry);
        SetKORIPMICommandData(entry);
        const bool transferred = ProcessIPMICommand();
        LogIPMICommand(m_pCommandData->ucRequestBuffer,
                       BoundToBuffer(m_pCommandData->uiRequestLength), "IPMI Request for " + name);
        LogIPMICommand(m_pCommandData->ucResponseBuffer,
                       BoundToBuffer(m_pCommandData->uiResponseLength),
                       "IPMI Response for " + name);
        if (!transferred) {
            KOR_LOG(KOR_LOG_ERROR, "IPMI Command (%s) execution failed.", name.c_str());
            VEK_RAISE(VEKErrorCode::kIpmiTransferFailed);
        }
        if (m_pCommandData->uiResponseLength != entry->m_uiResponseLength)
            KOR_LOG(KOR_LOG_WARN,
                    "Response length (%u) mentioned in INI file is not matching with actual "
                    "response length (%u).",
                    entry->m_uiResponseLength, m_pCommandData->uiResponseLength);
        // The buffer was cleared before the transfer: bytes the controller did
        // not send are stored as 0.
        const unsigned char* response = m_pCommandData->ucResponseBuffer;
        entry->m_vecIPMIResponse.assign(response,
                                        response + BoundToBuffer(entry->m_uiResponseLength));
        entry->m_uiReceivedLength =
            std::min(BoundToBuffer(m_pCommandData->uiResponseLength),
                     static_cast<unsigned int>(entry->m_vecIPMIResponse.size()));
        const unsigned char completionCode = response[kCompletionCodeIndex];
        if (completionCode != 0)
            KOR_LOG(KOR_LOG_WARN, "IPMI Command execution status in response 0x%02x",
                    completionCode);
        KOR_LOG(KOR_LOG_DEBUG, "CIPMICommandManagement::ProcessIPMICommand() Leaving.");
        return completionCode;
    }
    VEK_PASS_ON;
}

unsigned char CIPMICommandManagement::ProcessIPMICommandReading(const std::string& name,
                                                                int position, int count) {
    VEK_TRY {
        const unsigned char completionCode = ProcessIPMICommand(name);
        const unsigned int received = FindEntry(name)->m_uiReceivedLength;
        const unsigned char taken = CompletionCodeFor(
            completionCode, received, static_cast<long long>(position) + std::max(count, 1) - 1);
        if (taken != completionCode)
            KOR_LOG(KOR_LOG_WARN,
                    "IPMI Command (%s) answered %u bytes, too few for its field at position %d "
                    "(%d bytes); taken as completion code 0x%02x.",
                    name.c_str(), received, position, count, taken);
        return taken;
    }
    VEK_PASS_ON;
}

bool CIPMICommandManagement::ProcessIPMICommand() {
    VEK_TRY {
        const unsigned int status = m_pIPMIInterface->IPMIRequest(m_pCommandData);
        if (status != 0) {
            KOR_LOG(KOR_LOG_ERROR, "IPMI request failed with transport status 0x%x.", status);
            return false;
        }
        unsigned char& completionCode = m_pCommandData->ucResponseBuffer[kCompletionCodeIndex];
        if (completionCode == kCompletionInProgress) {
            unsigned int executionStatus = 0;
            if (!PollExecutionStatusForLastIPMICommand(executionStatus))
                return false;
            completionCode = static_cast<unsigned char>(executionStatus);
            return true;
        }
        return completionCode != kCompletionRefused;
    }
    VEK_PASS_ON;
}

bool CIPMICommandManagement::PollExecutionStatusForLastIPMICommand(unsigned int& status) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG,
                "CIPMICommandManagement::PollExecutionStatusForLastIPMICommand() : Waiting for "
                "status of last command processed..");
        // Without a configuration of its own the poll runs with the session's.
        std::unique_ptr<_KORIPMICommandData> poll(new _KORIPMICommandData());
        const unsigned char* last = m_pCommandData->ucRequestBuffer;
        const unsigned char pollRequest[kPollRequestLength] = {
            kPollNetFn, kPollCommand, kPollOperation, last[3], last[4], last[2], 0, 0};
        std::memcpy(poll->ucRequestBuffer, pollRequest, sizeof pollRequest);
        poll->uiRequestLength = kPollRequestLength;
        poll->uiResponseLength = kPollResponseLength;
        for (unsigned int polls = 0; polls < kMaxPolls;) {
            const unsigned int transportStatus = m_pIPMIInterface->IPMIRequest(poll.get());
            LogIPMICommand(poll->ucRequestBuffer, kPollDumpLength,
                           "IPMI Request for polling last command");
            LogIPMICommand(poll->ucResponseBuffer, kPollDumpLength,
                           "IPMI Response for polling last command");
            // An answer that ends before the status has not reported one.
            const unsigned char completionCode =
                CompletionCodeFor(poll->ucResponseBuffer[kCompletionCodeIndex],
                                  poll->uiResponseLength, kPollStatusIndex + 1);
            if (transportStatus != 0 || completionCode != 0) {
                KOR_LOG(KOR_LOG_ERROR,
                        "Polling last command failed (transport status 0x%x, completion code "
                        "0x%02x).",
                        transportStatus, completionCode);
                return false;
            }
            status = poll->ucResponseBuffer[kPollStatusIndex];
            if (status == 0) {
                KOR_LOG(KOR_LOG_DEBUG, "Completion status of last command is successfully.");
                return true;
            }
            if (status != kStatusRunning)
                return true;
            ++polls;
            KOR_LOG(KOR_LOG_DEBUG, "Polling for last command %u times", polls);
            CPlatformLayer::Sleep(kPollPauseSeconds);
        }
        KOR_LOG(KOR_LOG_ERROR, "Last command still running after %u polls.", kMaxPolls);
        return false;
    }
    VEK_PASS_ON;
}

void CIPMICommandManagement::PopulateSessionValue(CIPMIDataStructure* entry) {
    VEK_TRY {
        const CIPMIDataStructure* session = FindEntry(kSessionCommand);
        if (session->m_vecIPMIResponse.empty()) {
            KOR_LOG(KOR_LOG_ERROR, "No ostrel session: %s has not been executed.", kSessionCommand);
            VEK_RAISE(VEKErrorCode::kNoSessionOpen);
        }
        if (entry != nullptr)
            entry->SetIPMIRequestFields(CIPMIDataStructure::kSessionIdPosition, 2, session,
                                        CIPMIDataStructure::kSessionIdPosition);
    }
    VEK_PASS_ON;
}

void CIPMICommandManagement::SetKORIPMICommandData(const CIPMIDataStructure* entry) {
    if (entry == nullptr)
        return;
    std::memset(m_pCommandData->ucRequestBuffer, 0, sizeof m_pCommandData->ucRequestBuffer);
    std::memset(m_pCommandData->ucResponseBuffer, 0, sizeof m_pCommandData->ucResponseBuffer);
    // The loader rejects entries that do not fit; callers may still have
    // changed an entry since.
    const unsigned int requestLength = BoundToBuffer(static_cast<unsigned int>(
        std::min<std::size_t>(entry->m_uiRequestLength, entry->m_vecIPMIRequest.size())));
    std::copy_n(entry->m_vecIPMIRequest.begin(), requestLength, m_pCommandData->ucRequestBuffer);
    m_pCommandData->uiRequestLength = requestLength;
    m_pCommandData->uiResponseLength = BoundToBuffer(entry->m_uiResponseLength);
    m_pCommandData->pConfiguration = &m_stConfiguration;
}

void CIPMICommandManagement::SetIPMIRequest(const std::string& name, unsigned int value,
                                            int position, int size) {
    VEK_TRY {
        FindEntry(name)->SetIPMIRequestFields(value, position, size);
    }
    VEK_PASS_ON;
}

void CIPMICommandManagement::SetIPMIRequest(const std::string& name, const std::string& text,
                                            unsigned int count, int position) {
    VEK_TRY {
        FindEntry(name)->SetIPMIRequestFields(text, count, position);
    }
    VEK_PASS_ON;
}

CIPMIDataStructure* CIPMICommandManagement::GetIPMIRequest(const std::string& name) {
    VEK_TRY {
        return FindEntry(name);
    }
    VEK_PASS_ON;
}

std::vector<unsigned char>& CIPMICommandManagement::GetIPMIResponse(const std::string& name) {
    VEK_TRY {
        return FindEntry(name)->m_vecIPMIResponse;
    }
    VEK_PASS_ON;
}

unsigned int CIPMICommandManagement::GetIPMIResponse(const std::string& name, int position,
                                                     int count) {
    VEK_TRY {
        return FindEntry(name)->GetResponseField(position, count);
    }
    VEK_PASS_ON;
}

void CIPMICommandManagement::LogIPMICommand(const unsigned char* bytes, unsigned int length,
                                            const std::string& label) {
    VEK_TRY {
        // A dump is a few hundred characters; it is built only when it will be written.
        if (!KORLogger::IsActive())
            return;
        std::string text = label + " : [ ";
        for (unsigned int i = 0; bytes != nullptr && i < length; ++i) {
            char hex[sizeof " 0xff"];
            std::snprintf(hex, sizeof hex, " 0x%02x", bytes[i]);
            text += hex;
        }
        text += " ] ";
        KOR_LOG(KOR_LOG_INFO, "%s", text.c_str());
    }
    VEK_PASS_ON;
}

}  // namespace IPMIFramework
