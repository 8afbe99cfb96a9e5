#include "platform/linux/sg_io.h"

#include "platform/sysfs.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <cstdio>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace nv::platform::linux_sg {
namespace {
constexpr unsigned kHostOk = 0, kDriverSense = 0x08;
}

sg_io_hdr FillSgIoHdr(ScsiCommand& c, std::span<std::uint8_t> sense) {
    sg_io_hdr h;
    std::memset(&h, 0, sizeof h);
    h.interface_id = 'S';
    h.cmdp = c.cdb.data();
    h.cmd_len = std::min<std::uint8_t>(c.cdbLength, 16);
    h.dxfer_len = static_cast<unsigned>(c.data.size());
    h.dxferp = c.data.empty() ? nullptr : c.data.data();
    if (c.data.empty() || c.direction == DataDirection::None)
        h.dxfer_direction = SG_DXFER_NONE;
    else
        h.dxfer_direction = c.direction == DataDirection::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
    if (h.dxfer_direction == SG_DXFER_NONE) {
        h.dxfer_len = 0;
        h.dxferp = nullptr;
    }
    h.sbp = sense.data();
    h.mx_sb_len = static_cast<unsigned char>(std::min<std::size_t>(sense.size(), 255));
    // A zero time-out would leave the kernel's default; the system never
    // asks for "no limit".
    h.timeout = c.timeoutMs ? c.timeoutMs : 1000;
    return h;
}

ScsiResult ResultFromSgIo(int ioctlResult, const sg_io_hdr& h, std::span<const std::uint8_t> sense) {
    ScsiResult r;
    if (ioctlResult != 0) return r;
    if (h.host_status != kHostOk) return r;
    if ((h.driver_status & ~kDriverSense) != 0) return r;
    r.delivered = true;
    r.status = h.status;
    r.senseLength = static_cast<std::uint8_t>(std::min<std::size_t>({h.sb_len_wr, sense.size(), r.sense.size()}));
    std::copy_n(sense.begin(), r.senseLength, r.sense.begin());
    return r;
}

bool SgExecutor::Open(OpenedUnit& unit) {
    unit.fd = ::open(unit.devNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (unit.fd < 0) return false;
    // The node opened must be the unit's own sg device: a character device
    // whose number is the one sysfs gives, not whatever now holds the name.
    struct stat st {};
    unsigned major_number = 0, minor_number = 0;
    auto dev = sysfs::ReadAttribute(unit.unitPath + "/scsi_generic/" + unit.generic + "/dev");
    bool own = ::fstat(unit.fd, &st) == 0 && S_ISCHR(st.st_mode) && dev &&
               std::sscanf(dev->c_str(), "%u:%u", &major_number, &minor_number) == 2 &&
               major(st.st_rdev) == major_number && minor(st.st_rdev) == minor_number;
    if (!own) {
        ::close(unit.fd);
        unit.fd = -1;
    }
    return own;
}

void SgExecutor::Close(OpenedUnit& unit) {
    if (unit.fd >= 0) ::close(unit.fd);
    unit.fd = -1;
}

ScsiResult SgExecutor::Execute(OpenedUnit& unit, ScsiCommand& command) {
    if (unit.fd < 0) return {};
    std::array<std::uint8_t, 32> sense{};
    sg_io_hdr h = FillSgIoHdr(command, sense);
    int rc = ::ioctl(unit.fd, SG_IO, &h);
    return ResultFromSgIo(rc, h, sense);
}

}  // namespace nv::platform::linux_sg
