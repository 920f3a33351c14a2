#include "controller_catalogue.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sim::devices {
namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// As the library reads a length: decimal digits up to the first other
// character, 0 for none; no IPMI message is longer than 255 bytes.
unsigned Length(const std::string& value) {
    return static_cast<unsigned>(std::min(std::strtoul(value.c_str(), nullptr, 10), 255UL));
}

// Read the way the library reads it (each token base 16 up to its first
// non-digit, truncated to a byte), so that both always agree on the bytes.
std::vector<uint8_t> CommandBytes(const std::string& value) {
    std::istringstream tokens(value);
    std::vector<uint8_t> bytes;
    std::string token;
    while (tokens >> token) {
        bytes.push_back(static_cast<uint8_t>(std::strtol(token.c_str(), nullptr, 16)));
    }
    return bytes;
}

// The catalogue's request part that identifies a command: network function,
// command code and, when listed, the operation byte.
size_t FixedCount(const CatalogueEntry& entry) {
    return entry.bytes.size() < 3 ? entry.bytes.size() : 3;
}

}  // namespace

ControllerCatalogue ControllerCatalogue::Load(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("controller catalogue " + path + ": cannot be read");
    ControllerCatalogue catalogue;
    std::string line;
    // Lines the library would reject are skipped: a catalogue made to test
    // the library's complaints must not stop the controller.
    while (std::getline(in, line)) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';')
            continue;
        if (text.front() == '[' && text.back() == ']' && text.size() > 2) {
            catalogue.entries_.push_back({});
            catalogue.entries_.back().name = Trim(text.substr(1, text.size() - 2));
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string::npos || catalogue.entries_.empty())
            continue;
        CatalogueEntry& entry = catalogue.entries_.back();
        const std::string key = Trim(text.substr(0, equals));
        const std::string value = Trim(text.substr(equals + 1));
        if (key == "Command") {
            entry.bytes = CommandBytes(value);
        } else if (key == "ResponseLength") {
            entry.responseLength = Length(value);
        } else if (key == "IsSessionRequired") {
            entry.sessionRequired = value == "1";
        }
    }
    return catalogue;
}

const CatalogueEntry* ControllerCatalogue::Match(const std::vector<uint8_t>& request) const {
    const CatalogueEntry* best = nullptr;
    for (const CatalogueEntry& entry : entries_) {
        const size_t fixed = FixedCount(entry);
        if (fixed < 2 || request.size() < fixed)
            continue;
        if (!std::equal(entry.bytes.begin(), entry.bytes.begin() + fixed, request.begin())) {
            continue;
        }
        if (best == nullptr || fixed > FixedCount(*best))
            best = &entry;
    }
    return best;
}

const CatalogueEntry* ControllerCatalogue::Find(const std::string& name) const {
    for (const CatalogueEntry& entry : entries_) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

}  // namespace sim::devices
