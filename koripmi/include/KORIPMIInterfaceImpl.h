#pragma once
// The entrance of the IPMI transport. Calling order: construct, Initialize,
// any number of IPMIRequest from the same thread, Release, delete. Other
// threads may send requests too; each gets its own session and device handle.

#include "KORIPMICommandData.h"
#include "KORString.h"

class KORIPMIInterfaceImpl {
public:
    KORIPMIInterfaceImpl() = default;
    // Destroys every session, then terminates the library's logger.
    virtual ~KORIPMIInterfaceImpl();
    KORIPMIInterfaceImpl(const KORIPMIInterfaceImpl&) = delete;
    KORIPMIInterfaceImpl& operator=(const KORIPMIInterfaceImpl&) = delete;

    // 0 ready, 1 kernel modules cannot be loaded, 0x101 no device node opens.
    unsigned int Initialize(const _KORIPMIConfiguration* configuration);
    unsigned int Initialize(KORString configurationFileName);
    // The processor's status (0 or 0x140); 0x101 for a null block.
    unsigned int IPMIRequest(_KORIPMICommandData* commandData);
    // Releases the calling thread's session; always true.
    bool Release();
    // Switches logging on when the marker file "vekdebuglog" exists.
    void InitializeKORLogger();
};
