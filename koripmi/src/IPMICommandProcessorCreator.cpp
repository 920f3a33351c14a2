#include "IPMICommandProcessorCreator.h"

#include <new>

#include "IPMIProcessor.h"

IIPMICommandProcessor* IPMICommandProcessorCreator::Create() {
    IPMIProcessor* processor = new (std::nothrow) IPMIProcessor();
    if (processor == nullptr) {
        return nullptr;
    }
    if (processor->Initialize() != 0) {
        delete processor;
        return nullptr;
    }
    return processor;
}
