#pragma once
// The entrance of the IPMI transport. Calling order: construct, Initialize,
// any number of IPMIRequest from the same thread, Release, delete. Other
// threads may send requests too; each gets its own session and device handle.
// Fronts of several threads may live at once: the session registry and the
// library's logger are shared by all of them and end with the last one.

#include "KORIPMICommandData.h"
#include "KORString.h"

#include <vector>

class KORIPMIInterfaceImpl {
public:
    KORIPMIInterfaceImpl();
    // As the last front of the process: destroys the session registry, then
    // terminates the library's logger. Any other front leaves both alone.
    virtual ~KORIPMIInterfaceImpl();
    KORIPMIInterfaceImpl(const KORIPMIInterfaceImpl&) = delete;
    KORIPMIInterfaceImpl& operator=(const KORIPMIInterfaceImpl&) = delete;

    // 0 ready, 1 kernel modules cannot be loaded, 0x101 no device node opens.
    unsigned int Initialize(const _KORIPMIConfiguration* configuration);
    unsigned int Initialize(KORString configurationFileName);
    // The processor's status (0 or 0x140); 0x101 for a null block.
    unsigned int IPMIRequest(_KORIPMICommandData* commandData);
    // Releases the calling thread's session, then unloads the IPMI modules
    // this front loaded and the kernel kept while the device was open;
    // always true.
    bool Release();
    // Switches logging on when the marker "vekdebuglog" is a file or directory.
    void InitializeKORLogger();

    // For a user whose own set-up failed: releases the calling thread's
    // session and deletes the front, but keeps the registry and the logger
    // even when it was the last front, so that the user's failure handling
    // is still logged.
    static void Abandon(KORIPMIInterfaceImpl* front);

private:
    bool m_bEndsSharedStateWhenLast = true;
    std::vector<KORString> m_refusedUnloads;
};
