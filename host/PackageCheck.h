#pragma once
// Validates a package directory without loading the library's update code or
// contacting the controller: the files an update reads are there and can be
// parsed, the payload is where the library will take it from, and the
// descriptor says what an update would stage.

#include <string>
#include <vector>

struct PackageReport {
    std::vector<std::string> problems;  // each one would make the update fail
    std::vector<std::string> notes;     // worth knowing, not fatal
    // From the descriptor, empty when it cannot be read.
    std::string name, version, releaseID, componentID;
    long long payloadFiles = 0;
    long long payloadBytes = 0;
};

// packageDirectory is where the update reads its files (its working
// directory); programDirectory is where the library takes the payload from.
// Without loadLibrary the library is not loaded (it may not be trusted).
PackageReport CheckPackage(const std::string& packageDirectory, const std::string& programDirectory,
                           const std::string& libraryPath, bool loadLibrary);

// One sentence on what an update of this package would do.
std::string DescribeUpdate(const PackageReport& report);
