// Where the Linux back end looks: the real machine, or a simulated world.
//   NORVALYN_SIM=<dir>        a world made by nvsim: <dir>/sys, <dir>/dev, controller state
//   NORVALYN_SYSFS_ROOT=<dir> a bare sysfs tree (test fixtures)
//   NORVALYN_REGISTRY=<file>  a .reg file that replaces the registry view
#pragma once

#include <optional>
#include <string>

namespace nv::platform {

// The world directory when NORVALYN_SIM is set.
std::optional<std::string> SimWorldDir();
// NORVALYN_SYSFS_ROOT, else <world>/sys, else /sys. No trailing slash.
std::string SysfsRoot();
// <world>/dev in a simulated world, the dev folder beside a sysfs fixture,
// else /dev.
std::string DevRoot();
// Value of an environment variable, nullopt when unset or empty.
std::optional<std::string> GetEnv(const char* name);

}  // namespace nv::platform
