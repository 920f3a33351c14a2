#pragma once
// What the controller checks on the detached partition before it stages an
// update: the SHA-256 method's manifest and digests, or the files the GPG
// method needs.

#include <string>
#include <vector>

namespace sim::devices {

struct StageCheckResult {
    bool passed = false;
    std::string reason;              // why it failed, or "ok"
    std::vector<std::string> files;  // every file on the volume, relative to its root
};

class StageCheck {
public:
    // `scratch` is an empty directory to unpack the volume into.
    static StageCheckResult Sha(const std::string& volume, const std::string& digest,
                                const std::string& scratch);
    static StageCheckResult Gpg(const std::string& volume, const std::string& scratch);
};

}  // namespace sim::devices
