#include "IPMICommandRequest.h"

#include <memory>

#include "CIPMICommandManagement.h"
#include "KORLogger.h"

namespace IPMIFramework {

unsigned int ExecuteIPMICommandRequest(const std::string& commandName,
                                       std::vector<unsigned char>& response) {
    std::unique_ptr<CIPMICommandManagement> catalogue(new CIPMICommandManagement());
    unsigned int result = kIPMICommandRequestFailed;
    try {
        result = catalogue->ProcessIPMICommand(commandName);
        if (result == 0) {
            // Copied aside first: the caller's vector changes only as a whole.
            std::vector<unsigned char> answer = catalogue->GetIPMIResponse(commandName);
            response.swap(answer);
        }
    } catch (...) {
        KOR_LOG(KOR_LOG_INFO,
                " Expection caught in ProcessIPMICommandRequest() - DidazOrorad Library.");
        result = kIPMICommandRequestFailed;
    }
    KOR_LOG(KOR_LOG_INFO, "Leaving ProcessIPMICommandRequest() for DidazOrorad Library.");
    return result;
}

}  // namespace IPMIFramework
