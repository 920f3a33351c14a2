// The IPMI device nodes the scenario's ipmi.nodes makes present, and a fresh
// set of transport faults per run.

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "ipmi_device.h"
#include "ipmi_faults.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

const std::vector<std::string> kNodes = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};

std::vector<std::string> PresentNodes() {
    std::vector<std::string> listed = sim::core::CurrentScenario().List("ipmi.nodes");
    if (listed.empty())
        return {"/dev/ipmi0"};
    if (listed.size() == 1 && listed[0] == "none")
        return {};
    return listed;
}

std::optional<int> OpenNode(const std::string& machinePath, const std::string& /*sandboxPath*/,
                            int /*flags*/) {
    if (std::find(kNodes.begin(), kNodes.end(), machinePath) == kNodes.end()) {
        return std::nullopt;
    }
    const std::vector<std::string> present = PresentNodes();
    const bool exists = std::find(present.begin(), present.end(), machinePath) != present.end();
    // The descriptor is a real one, so that select and close work on it.
    const int fd = exists ? sim::core::RealOpen("/dev/null", O_RDWR) : -1;
    sim::core::Trace("ipmi_open", {sim::core::TraceText("path", machinePath),
                                   sim::core::TraceNumber("ok", fd >= 0 ? 1 : 0)});
    if (fd < 0) {
        errno = ENOENT;
        return -1;
    }
    sim::core::AttachDevice(fd, std::make_shared<IpmiDevice>(machinePath));
    return fd;
}

// The present nodes also exist as files, for whoever looks before opening.
void MakeNodes() {
    for (const std::string& node : PresentNodes()) {
        if (std::find(kNodes.begin(), kNodes.end(), node) == kNodes.end()) {
            throw std::runtime_error("ipmi.nodes: " + node + " is not an IPMI device node");
        }
        const std::filesystem::path path = sim::core::SandboxPathOf(node);
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        const int fd = sim::core::RealOpen(path.c_str(), O_WRONLY | O_CREAT, 0600);
        if (fd >= 0)
            sim::core::RealClose(fd);
    }
}

const sim::core::Registration registration([] {
    sim::core::AddOpenHandler(OpenNode);
    sim::core::AddResetHandler([] {
        MakeNodes();
        IpmiFaults::Instance().Reset(sim::core::CurrentScenario());
    });
});

}  // namespace
}  // namespace sim::devices
