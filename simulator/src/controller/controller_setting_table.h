#pragma once
// The controller's settings, one row per scenario key below "controller.":
// its default and how its value is read. A new setting is a row (and the
// member of ControllerSettings it fills); the README's Controller table
// states each default, and a test holds it to this table.

#include <string>
#include <vector>

namespace sim::devices {

struct ControllerSettings;
struct SettingLine;

struct ControllerSetting {
    std::string key;       // below "controller."; a family of keys (cc.NAME, ...) ends in '.'
    std::string fallback;  // the default, as the README states it; empty: none
    // Throws std::runtime_error starting with the line's key for a bad value.
    void (*read)(const SettingLine& line, ControllerSettings& settings) = nullptr;

    bool IsFamily() const { return !key.empty() && key.back() == '.'; }
};

const std::vector<ControllerSetting>& ControllerSettingTable();

}  // namespace sim::devices
