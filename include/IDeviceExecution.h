#pragma once
// The host's interface to an update object: the host deletes the object
// through the virtual destructor and owns the records Update() returns.

#include <string>
#include <vector>

#include "CDeviceInfo.h"

class IDeviceExecution {
public:
    virtual ~IDeviceExecution() {}
    virtual std::vector<CDeviceInfo*> Update() = 0;
};

// The library's exports, resolved by the host with dlsym under these names.
extern "C" {
typedef IDeviceExecution* (*GetDeviceExecutionUpdateMethodFn)();
}
typedef unsigned int (*ProcessIPMICommandRequestFn)(const std::string& commandName,
                                                    std::vector<unsigned char>& response);

#define KOR_EXPORT_FACTORY_NAME "GetDeviceExecutionUpdateMethod"
#define KOR_EXPORT_PASSTHROUGH_NAME "ProcessIPMICommandRequest"
