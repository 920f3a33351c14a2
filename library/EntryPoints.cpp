// The library's boundary towards the host program: the update factory, the
// IPMI pass-through, and the logging set-up both of them run first.

#include "EntryPoints.h"

#include "IPMICommandRequest.h"
#include "KORFile.h"
#include "KORLogger.h"
#include "KORLoggingOptions.h"

void InitializeKORLogger() {
    // Logging stays off unless the operator asked for it with the marker.
    if (!KORFile("vekdebuglog").Exists()) {
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
    // The staged-update object is handed out here once the update driver exists.
    IDeviceExecution* update = nullptr;
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
