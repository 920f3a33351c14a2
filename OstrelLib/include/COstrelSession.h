#pragma once
// The controller's update session: opened when the one instance is created,
// given back when it is deleted. Session-bound commands get the session id
// from the catalogue itself (the stored answer of "BeginOstrelSessionExtend");
// the object keeps its own copy to know whether a session exists.
//
//     COstrelSession* session = COstrelSession::GetOstrelSession(catalogue);
//     ...                       // partition and stage commands
//     delete session;           // ends the session; delete it before the catalogue
//
// Process-wide and unguarded: created and used on the thread running the update.

namespace IPMIFramework {
class CIPMICommandManagement;
}

namespace SessionFramework {

class COstrelSession {
public:
    // The instance, created (and the session opened) on the first call; the
    // catalogue of later calls is ignored. A failed opening leaves no
    // instance, so the next call tries again.
    static COstrelSession* GetOstrelSession(IPMIFramework::CIPMICommandManagement* catalogue);

    explicit COstrelSession(IPMIFramework::CIPMICommandManagement* catalogue);
    // Ends a session still active; never throws.
    ~COstrelSession();
    COstrelSession(const COstrelSession&) = delete;
    COstrelSession& operator=(const COstrelSession&) = delete;

    // Up to 10 attempts 2 seconds apart; code 63 when no session was granted.
    void BeginOstrelSession();
    // Marks the session ended whatever the controller answers; only a failed
    // transfer throws.
    void EndOstrelSession();

private:
    static COstrelSession* m_pOstrelSession;

    IPMIFramework::CIPMICommandManagement* m_pIPMICommandManagement;
    bool m_bIsSessionActive;
    unsigned int m_uiSessionValue;
};

}  // namespace SessionFramework
