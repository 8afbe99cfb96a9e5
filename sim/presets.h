// Ready-made worlds for nvsim, the demo and the tests.
#pragma once

#include <string>
#include <vector>

namespace nv::sim {

struct PresetInfo {
    std::string name;
    std::string description;
};

const std::vector<PresetInfo>& Presets();

// Makes the world of a preset in dir. False with a message for an unknown
// preset or a directory that may not be replaced.
bool CreatePreset(const std::string& dir, const std::string& preset, std::string* error);

}  // namespace nv::sim
