// CopyFile: the destination is rewritten in place, so a destination that is
// a running program fails (ETXTBSY on Linux, a sharing violation on
// Windows) instead of being replaced behind the program's back.
#pragma once

#include <string>

namespace nv::platform {

// Copies contents and permission bits. False on any failure.
bool CopyFile(const std::string& from, const std::string& to, bool fail_if_exists);

}  // namespace nv::platform
