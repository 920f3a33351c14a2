#pragma once
// What someone who can write the package directory could put in a file's
// place that is no regular file, for the tests that show the library refuses
// it without hanging; and a guard that ends a test program that hangs anyway.

#include <string>
#include <vector>

namespace kortest {

enum class Planted { Fifo, Socket, Directory, LinkToDevice, LinkToFifo };

struct PlantedKind {
    Planted kind;
    // How the library names what it finds there (links followed).
    std::string typeName;
};

// Every kind, each with its name.
const std::vector<PlantedKind>& PlantedKinds();

// Puts an entry of that kind at `path`, replacing what is there. The link to
// a device points at /dev/zero; the link to a FIFO at `path` + ".fifo".
void Plant(const std::string& path, Planted kind);

// Ends the test program with SIGALRM unless the scope is left within
// `seconds` of real time: a reader that blocked on a planted FIFO would
// otherwise hang the whole suite.
class HangGuard {
public:
    explicit HangGuard(unsigned int seconds = 60);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
};

}  // namespace kortest
