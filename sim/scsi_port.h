// The ScsiPort a program uses: the simulated controllers of the world when
// NORVALYN_SIM names one, SG_IO on the machine's own nodes otherwise. The
// sysfs side is the same code in both cases.
#pragma once

#include "platform/scsi.h"

#include <memory>

namespace nv::sim {

std::unique_ptr<platform::ScsiPort> MakeScsiPort();

}  // namespace nv::sim
