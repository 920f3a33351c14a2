#pragma once
// Test helper: the built shared library loaded into the test process, so its
// exports run against the simulated machine the test links (which comes first
// and so stands in for the system calls of every library in the process).
// The library keeps its own logger and session registry, apart from the
// copies of the layers the test itself links, and stays loaded to the end.

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <kortest/TemporaryDirectory.h>

namespace shippedlibrary {

using PassThrough = unsigned int (*)(const std::string&, std::vector<unsigned char>&);

inline PassThrough LoadPassThrough() {
    static void* const library = dlopen(KOR_UPDATE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
    void* const symbol = dlsym(library, "ProcessIPMICommandRequest");
    if (symbol == nullptr)
        throw std::runtime_error("ProcessIPMICommandRequest is not exported");
    return reinterpret_cast<PassThrough>(symbol);
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
