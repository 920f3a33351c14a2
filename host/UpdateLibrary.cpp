#include "UpdateLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

namespace {
// The pass-through export has C linkage but standard-library arguments.
extern "C" {
typedef unsigned int (*PassThroughFn)(const std::string&, std::vector<unsigned char>&);
}
}  // namespace

UpdateLibrary::UpdateLibrary(const std::string& path)
    // RTLD_GLOBAL: the device records' member functions are bound from it.
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
    if (m_handle == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load " + path + ": " +
                                 (reason ? reason : "unknown error"));
    }
}

UpdateLibrary::~UpdateLibrary() {
    dlclose(m_handle);
}

void* UpdateLibrary::Resolve(const char* name) const {
    void* symbol = dlsym(m_handle, name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("the library does not export ") + name);
    }
    return symbol;
}

IDeviceExecution* UpdateLibrary::CreateUpdate() const {
    auto factory =
        reinterpret_cast<GetDeviceExecutionUpdateMethodFn>(Resolve(KOR_EXPORT_FACTORY_NAME));
    return factory();
}

unsigned int UpdateLibrary::RunIpmiCommand(const std::string& name,
                                           std::vector<unsigned char>& response) const {
    auto passThrough = reinterpret_cast<PassThroughFn>(Resolve(KOR_EXPORT_PASSTHROUGH_NAME));
    return passThrough(name, response);
}
