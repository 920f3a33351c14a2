#pragma once
// Whether root may load and run what a package directory holds: nobody but
// root may have changed any of it, or be able to change it once checked.
// Another user who owns or may write a directory on the way to the package
// (one without the sticky bit) can swap the whole package; one who owns or
// may write a file of it, or a link out of it, can swap what root runs or
// reads (updatehost, the library, the udev rules, ipmi_cmd.ini: root code
// execution and arbitrary controller commands).

#include <string>
#include <vector>

// One "PATH: reason" per path another user could have changed, in the order
// found. Empty unless the effective user is root: another user's own run
// risks only what that user may change anyway. `programs` are updatehost and
// the library, wherever they lie.
std::vector<std::string> UntrustedPackagePaths(const std::string& packageDirectory,
                                               const std::vector<std::string>& programs);
