// The last step on a real machine: one command through SG_IO on the unit's
// sg node. The header is built from the command value in one function and
// the outcome read back in another, both testable without a device.
#pragma once

#include "platform/scsi.h"
#include "platform/scsi_units.h"

#include <scsi/sg.h>

#include <span>

namespace nv::platform::linux_sg {

// sense must stay alive for the ioctl; its size is the sense limit.
sg_io_hdr FillSgIoHdr(ScsiCommand& command, std::span<std::uint8_t> sense);

// ioctlResult is the ioctl's return value (0 on success). A failed call, a
// host or driver error (gone device, time-out, reset) is "not delivered";
// otherwise the SCSI status and any sense come back.
ScsiResult ResultFromSgIo(int ioctlResult, const sg_io_hdr& hdr, std::span<const std::uint8_t> sense);

class SgExecutor final : public UnitExecutor {
public:
    bool Open(OpenedUnit& unit) override;
    void Close(OpenedUnit& unit) override;
    ScsiResult Execute(OpenedUnit& unit, ScsiCommand& command) override;
};

}  // namespace nv::platform::linux_sg
