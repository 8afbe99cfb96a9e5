// Ravix drives in a simulated world: plugging one in (sysfs tree and
// controller state), re-enumerating after the controller changed its
// identity, faults on demand, and the report of nvsim inspect.
#pragma once

#include "sim/ravix_controller.h"
#include "sim/world.h"

#include <ostream>
#include <string>
#include <vector>

namespace nv::sim {

// A healthy drive: controller AEh, two chips of 8 zone groups, a valid
// configuration block with serial8, 100 spare blocks a group.
ravix::ControllerState HealthyRavix(const std::string& serial8);

// Plugs a Ravix drive with this controller state into the world; its units
// show what the controller reports now.
DevicePlacement AddRavixDrive(WorldWriter& world, const ravix::ControllerState& state);

// The Ravix drives of a world, by USB device name ("1-1").
std::vector<std::string> RavixDrives(const std::string& worldDir);

// What the kernel would show after unplugging and replugging: inquiry
// texts, disk sizes and the USB serial follow the controller's state.
bool Replug(const std::string& worldDir, std::string* error);

// Replaces the faults of a drive (the first one when usbName is empty).
bool SetFaults(const std::string& worldDir, const std::string& usbName, const ravix::Faults& faults,
               std::string* error);

// Identity, serial number, capacities, bad-block counts and state of every
// Ravix drive of the world.
bool Inspect(const std::string& worldDir, std::ostream& out, std::string* error);

}  // namespace nv::sim
