// ioctl and close of descriptors that carry a simulated device, and the
// close of files written on the machine.

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdarg>
#include <mutex>

#include "device_registry.h"
#include "machine.h"
#include "sim_core.h"
#include "written_files.h"

extern "C" {

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (sim::core::AnyDevices()) {
        std::shared_ptr<sim::core::FdDevice> device;
        {
            std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
            device = sim::core::DeviceOf(fd);
        }
        if (device) {
            device->BeforeIoctl(request, argument);
            std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
            return device->Ioctl(request, argument);
        }
    }
    return sim::core::RealIoctl(fd, request, argument);
}

int close(int fd) {
    if (sim::core::AnyDevices()) {
        std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
        if (const std::shared_ptr<sim::core::FdDevice> device = sim::core::DetachDevice(fd)) {
            device->Closed();
        }
    }
    sim::core::ForgetWrittenFile(fd);
    return sim::core::RealClose(fd);
}

}  // extern "C"
