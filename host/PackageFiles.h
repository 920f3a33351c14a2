#pragma once
// The files of a package directory that updatehost or the library reads or
// runs, by name, and where the library installs the staging udev rules.

namespace PackageFiles {

constexpr const char* kRuleFiles[] = {"98-secupdusb.rules", "00-secupd-tessel.rules"};

// Read from the package directory by the library (besides the rules and the
// payload directory); "vekdebuglog" is the marker, a file or a directory, that
// switches its logging on.
constexpr const char* kReadFiles[] = {"package.xml",        "package.xml.sign",      "ipmi_cmd.ini",
                                      "ErrorCodes.xml",     "KORIPMIConfig.xml",     "vekdebuglog",
                                      "98-secupdusb.rules", "00-secupd-tessel.rules"};

constexpr const char* kPayloadDirectory = "payload";

constexpr const char* kRuleDirectories[] = {"/etc/udev/rules.d", "/lib/udev/rules.d",
                                            "/run/udev/rules.d"};

}  // namespace PackageFiles
