#pragma once
// Makes sure the IPMI kernel modules are present, and gives back what it loaded.

class IKORIPMIDriverManager {
public:
    // 0 when the driver is usable, 1 when the modules cannot be loaded.
    virtual int IsIPMIDriverAvailable() = 0;
    // Unloads what this manager loaded; always 0.
    virtual int ReleaseIPMIDriver() = 0;
    virtual ~IKORIPMIDriverManager() = default;
};
