// The administrator check: on Linux, effective user 0 or the raw I/O
// capability, which is what the repair programs need of the machine.
#pragma once

#include <string_view>

namespace nv::platform {

bool IsUserAdmin();

// Whether a /proc/<pid>/status text grants CAP_SYS_RAWIO in its effective set.
bool StatusHasRawIo(std::string_view proc_status);

}  // namespace nv::platform
