#include "platform/env.h"

#include <cstdlib>

namespace nv::platform {

std::optional<std::string> GetEnv(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    return std::string(v);
}

std::optional<std::string> SimWorldDir() { return GetEnv("NORVALYN_SIM"); }

std::string SysfsRoot() {
    if (auto root = GetEnv("NORVALYN_SYSFS_ROOT")) return *root;
    if (auto world = SimWorldDir()) return *world + "/sys";
    return "/sys";
}

std::string DevRoot() {
    if (auto world = SimWorldDir()) return *world + "/dev";
    // A fixture's sysfs tree must never lead to the machine's own nodes.
    if (auto root = GetEnv("NORVALYN_SYSFS_ROOT")) return *root + "/../dev";
    return "/dev";
}

}  // namespace nv::platform
