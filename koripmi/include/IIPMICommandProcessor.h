#pragma once
// The bottom of the transport: sends one command to the controller and reads
// its answer back into the record.

#include "KORIPMICommandData.h"

class IIPMICommandProcessor {
public:
    virtual ~IIPMICommandProcessor() = default;
    // One command with the completion-code retries; 0 or the transport failure status.
    virtual int ExecuteCommand(CKORIPMICommandData& record) = 0;
    // Opens the device; 0 or the transport failure status.
    virtual int Initialize() = 0;
};
