#pragma once
// Where an attached partition's volume shows up. The simulated machine's own
// disks serve it unless a front end serving a real machine (a virtual
// machine's USB bus) plugs the volume in there instead.

#include <string>

namespace sim::devices {

class PartitionPlug {
public:
    virtual ~PartitionPlug() = default;
    // Both return at once: the controller answers its command before the
    // device has (dis)appeared, as the real one does.
    virtual void Plug(int number, const std::string& volume) = 0;
    virtual void Unplug(int number) = 0;
    // Returns once every plug and unplug asked for has taken effect, so that
    // the volume file holds what the machine wrote to it.
    virtual void Settle() = 0;
};

}  // namespace sim::devices
