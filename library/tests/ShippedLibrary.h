#pragma once
// Test helper: the built shared library loaded into the test process, so its
// pass-through export runs against the simulated machine the test links
// (which comes first and so stands in for the system calls of every library
// in the process). The library keeps its own logger, catalogues and session
// registry, and stays loaded to the end: its process-wide singletons would
// look leaked to the sanitizer build once it was unmapped.

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include <kortest/TemporaryDirectory.h>

#include "IDeviceExecution.h"

namespace shippedlibrary {

inline ProcessIPMICommandRequestFn LoadPassThrough() {
    static void* const library = dlopen(KOR_UPDATE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
    void* const symbol = dlsym(library, KOR_EXPORT_PASSTHROUGH_NAME);
    if (symbol == nullptr)
        throw std::runtime_error(KOR_EXPORT_PASSTHROUGH_NAME " is not exported");
    return reinterpret_cast<ProcessIPMICommandRequestFn>(symbol);
}

// A working directory holding the package files the export reads.
class PackageDirectory : public kortest::TemporaryDirectory {
public:
    PackageDirectory() {
        for (const char* name : {"ipmi_cmd.ini", "ErrorCodes.xml"})
            std::filesystem::copy_file(std::string(KOR_PACKAGE_DIR) + "/" + name, Join(name));
        Enter();
    }
};

}  // namespace shippedlibrary
