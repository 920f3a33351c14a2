#pragma once
// The update library as the host sees it: a file loaded with dlopen and the
// two exports resolved by name.

#include <string>
#include <vector>

#include "IDeviceExecution.h"

class UpdateLibrary {
public:
    // Loads the file; throws std::runtime_error with dlerror's text on failure.
    explicit UpdateLibrary(const std::string& path);
    ~UpdateLibrary();
    UpdateLibrary(const UpdateLibrary&) = delete;
    UpdateLibrary& operator=(const UpdateLibrary&) = delete;

    IDeviceExecution* CreateUpdate() const;
    unsigned int RunIpmiCommand(const std::string& name,
                                std::vector<unsigned char>& response) const;

private:
    void* Resolve(const char* name) const;

    void* m_handle;
};
