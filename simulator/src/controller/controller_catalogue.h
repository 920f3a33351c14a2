#pragma once
// The controller's view of the command catalogue: which named command a
// request on the wire is. The model reads the same "ipmi_cmd.ini" the library
// ships, so that the byte values of every command live in one file.

#include <cstdint>
#include <string>
#include <vector>

namespace sim::devices {

struct CatalogueEntry {
    std::string name;
    std::vector<uint8_t> bytes;  // network function, command code, data bytes
    unsigned responseLength = 0;
    bool sessionRequired = false;
};

class ControllerCatalogue {
public:
    // Throws std::runtime_error for a file that cannot be read.
    static ControllerCatalogue Load(const std::string& path);

    // The entry whose fixed bytes (network function, command code and the
    // operation byte, as far as the entry lists them) begin the request; the
    // entry listing more of them wins, then the earlier one. Null for none.
    const CatalogueEntry* Match(const std::vector<uint8_t>& request) const;
    const CatalogueEntry* Find(const std::string& name) const;

private:
    std::vector<CatalogueEntry> entries_;
};

}  // namespace sim::devices
