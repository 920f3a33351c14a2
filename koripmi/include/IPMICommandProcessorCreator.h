#pragma once

#include "IIPMICommandProcessor.h"

class IPMICommandProcessorCreator {
public:
    IPMICommandProcessorCreator() = delete;
    // A processor with its device open, or null when no device node opens.
    static IIPMICommandProcessor* Create();
};
