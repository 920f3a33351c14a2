#pragma once
// A source of named integer settings for the transport.

#include "KORString.h"

class IKORIPMIConfiguration {
public:
    virtual bool Initialize() = 0;
    virtual bool GetConfigInt(const KORString& key, int* value) = 0;
    virtual void SetConfigurationFileName(KORString name) = 0;

protected:
    // Implementations are owned and destroyed through their own type.
    ~IKORIPMIConfiguration() = default;
};
