#include "sim/scsi_port.h"

#include "platform/env.h"
#include "platform/linux/sg_io.h"
#include "platform/scsi_units.h"
#include "sim/ravix_controller.h"

namespace nv::sim {

std::unique_ptr<platform::ScsiPort> MakeScsiPort() {
    if (auto world = platform::SimWorldDir())
        return std::make_unique<platform::UnitPort>(std::make_unique<SimExecutor>(*world), platform::SysfsRoot(),
                                                    platform::DevRoot());
    return std::make_unique<platform::UnitPort>(std::make_unique<platform::linux_sg::SgExecutor>(),
                                                platform::SysfsRoot(), platform::DevRoot());
}

}  // namespace nv::sim
