// The library's boundary towards the host program: the update factory, the
// IPMI pass-through, and the logging set-up both of them run first.

#include "EntryPoints.h"

#include <exception>

#include "CStageUpdate.h"
#include "IPMICommandRequest.h"
#include "KORFile.h"
#include "KORLogFile.h"
#include "KORLogger.h"
#include "KORLoggingOptions.h"

void InitializeKORLogger() {
    // Logging stays off unless the operator asked for it with the marker.
    if (!KORDebugMarkerPresent()) {
        return;
    }
    KORLoggingOptions options;
    options.SetNumberOfSupportedLevels(5);
    options.SetNumberOfLevelsToShowInUserLog(5);
    options.SetApplicationName("StageUpdateLibrary");
    options.SetUserLogFile(KORFile("vekdebug_update.log"));
    options.SetInternalLogFile(KORFile("vekdebug_update_internal.log"));
    KORLogger::Initialize(options);
}

IDeviceExecution* GetDeviceExecutionUpdateMethod() {
    InitializeKORLogger();
    KOR_LOG(KOR_LOG_INFO, "Entering GetDeviceExecutionUpdateMethod() for DidazOrorad Library.");
    IDeviceExecution* update = nullptr;
    try {
        update = new SecureUpdateFramework::CStageUpdate();
    } catch (const std::exception& error) {
        KOR_LOG(KOR_LOG_ERROR,
                "Error occurred during initialize stage update library - Caught Exception (%s) ",
                error.what());
    }
    KOR_LOG(KOR_LOG_INFO, "Leaving GetDeviceExecutionUpdateMethod() for DidazOrorad Library.");
    return update;
}

unsigned int ProcessIPMICommandRequest(const std::string& commandName,
                                       std::vector<unsigned char>& response) {
    // Written only when an earlier call already switched logging on.
    KOR_LOG(KOR_LOG_INFO, "Entering ProcessIPMICommandRequest() for DidazOrorad Library.");
    InitializeKORLogger();
    return IPMIFramework::ExecuteIPMICommandRequest(commandName, response);
}
