#include "disk_description.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace sim::devices {
namespace {

uint64_t ParseSize(const std::string& text, const std::string& where) {
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        ++digits;
    }
    const std::string suffix = text.substr(digits);
    uint64_t unit = 1;
    if (suffix == "K" || suffix == "k") {
        unit = 1024;
    } else if (suffix == "M" || suffix == "m") {
        unit = uint64_t{1024} * 1024;
    } else if (suffix == "G" || suffix == "g") {
        unit = uint64_t{1024} * 1024 * 1024;
    } else if (!suffix.empty()) {
        throw std::runtime_error(where + ": size '" + text + "' is not BYTES, NK, NM or NG");
    }
    if (digits == 0 || digits > 12)
        throw std::runtime_error(where + ": size '" + text + "'");
    const uint64_t bytes = std::stoull(text.substr(0, digits)) * unit;
    if (bytes < uint64_t{64} * 1024 || bytes > 4ULL * 1024 * 1024 * 1024) {
        throw std::runtime_error(where + ": size must lie between 64K and 4G");
    }
    return bytes;
}

bool YesNo(const std::string& text, const std::string& where) {
    if (text == "yes")
        return true;
    if (text == "no")
        return false;
    throw std::runtime_error(where + ": expected yes or no, not '" + text + "'");
}

}  // namespace

DiskDescription DiskDescription::Parse(const std::string& name, const std::string& value) {
    const std::string where = "disk " + name;
    // The name also names the volume's file in the sandbox.
    if (name.empty() ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") != std::string::npos) {
        throw std::runtime_error(where + ": a disk name has only letters, digits, _ and -");
    }
    DiskDescription description;
    description.name = name;
    for (char c : name) {
        description.label += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    description.label = description.label.substr(0, 11);
    std::istringstream words(value);
    std::string word;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals == std::string::npos) {
            throw std::runtime_error(where + ": expected KEY=VALUE, not '" + word + "'");
        }
        const std::string key = word.substr(0, equals);
        const std::string setting = word.substr(equals + 1);
        if (key == "label") {
            if (setting.empty() || setting.size() > 11) {
                throw std::runtime_error(where + ": a label has 1 to 11 characters");
            }
            description.label = setting;
        } else if (key == "fat") {
            if (setting != "12" && setting != "16" && setting != "32" && setting != "auto") {
                throw std::runtime_error(where + ": fat must be 12, 16, 32 or auto");
            }
            description.fatType = setting == "auto" ? 0 : std::stoi(setting);
        } else if (key == "size") {
            description.bytes = ParseSize(setting, where);
        } else if (key == "emulated") {
            description.emulated = YesNo(setting, where);
        } else if (key == "layout") {
            if (setting != "whole" && setting != "partitioned") {
                throw std::runtime_error(where + ": layout must be whole or partitioned");
            }
            description.partitioned = setting == "partitioned";
        } else if (key == "image") {
            if (setting.empty() || setting[0] != '/')
                throw std::runtime_error(where + ": image needs an absolute path");
            description.image = setting;
        } else if (key == "address") {
            description.address = ParseScsiAddress(setting);
            if (!description.address) {
                throw std::runtime_error(where +
                                         ": address must be HOST:CHANNEL:ID:LUN, each 0-255");
            }
        } else {
            throw std::runtime_error(where + ": unknown setting '" + key + "'");
        }
    }
    return description;
}

}  // namespace sim::devices
