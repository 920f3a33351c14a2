// One payload step of an update, done once by a fresh process, with the code
// the shipped library is linked from: what a host pays for it in its one
// update. scripts/bench-digest.sh times it from outside, exactly as it times
// the standard tools doing the same work on the same files.
//
//   payload_once digest FILE            CSHA's digest of FILE, printed as
//                                       "HEX  FILE" (as sha256sum prints it)
//   payload_once phase PACKAGE MOUNT    the payload phase: PACKAGE's
//                                       package.xml and payload/ copied onto
//                                       MOUNT and the manifest written there;
//                                       prints the manifest's digest
#include <exception>
#include <iostream>
#include <string>

#include "CSHA.h"
#include "CSHAPyalodContents.h"

namespace {

// The SHA-256 payload object of a package directory, as the host program
// beside it would have it.
class PackagePayload : public FirmwareFramework::CSHAPyalodContents {
public:
    explicit PackagePayload(const std::string& packageDirectory, std::string name = "payload")
        : CSHAPyalodContents(name, nullptr) {
        m_strBaseDirectory = packageDirectory + "/";
    }
};

std::string FileDigest(const std::string& path) {
    char hex[65];
    CSHA().CalculateSHA256(path, true, hex);
    return hex;
}

std::string PayloadPhase(const std::string& package, const std::string& mount) {
    PackagePayload payload(package);
    payload.CollectUpdateContents();
    payload.CopyUpdateContents(mount);
    std::string digest;
    payload.GenerateUpdateXML(mount, digest);
    return digest;
}

int Usage() {
    std::cerr << "usage: payload_once digest FILE\n"
                 "       payload_once phase PACKAGE_DIR MOUNT_DIR\n";
    return 2;
}

int Fail(const char* text) {
    std::cerr << "payload_once: " << text << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    // The layers below report failures as exceptions of these three kinds.
    try {
        if (mode == "digest" && argc == 3) {
            std::cout << FileDigest(argv[2]) << "  " << argv[2] << '\n';
            return 0;
        }
        if (mode == "phase" && argc == 4) {
            std::cout << PayloadPhase(argv[2], argv[3]) << '\n';
            return 0;
        }
    } catch (const std::exception& error) {
        return Fail(error.what());
    } catch (const std::string& text) {
        return Fail(text.c_str());
    } catch (const char* text) {
        return Fail(text != nullptr ? text : "");
    }
    return Usage();
}
