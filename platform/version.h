// The operating-system version record the algorithms branch on. Linux has
// none of its own, so it is emulated: NT family 5.1 build 2600
// "Service Pack 3" unless NORVALYN_OS_VERSION selects another, e.g.
//   "4.10.2222 A"   Windows 98 SE          "4.90.3000"  Windows Me
//   "6.0.6000"      first Vista release   "4.0.1381"   NT 4.0
//   "9x:4.0.950"    Windows 95            "fail" / "noex:5.1.2600" query failures
// A leading "nt:", "9x:" or "win32s:" sets the platform identifier; without it
// major 4 with minor 10 or 90, or build below 1000 on 4.0, is the 9x family.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nv::platform {

enum PlatformId : std::uint32_t { kPlatformWin32s = 0, kPlatform9x = 1, kPlatformNT = 2 };

struct OsVersionInfo {
    std::uint32_t major = 5;
    std::uint32_t minor = 1;
    std::uint32_t build = 2600;
    std::uint32_t platformId = kPlatformNT;
    std::string csdVersion = "Service Pack 3";
    // The extended query (size 156) fails while the plain one (148) works.
    bool extendedQueryFails = false;
    // Both queries fail.
    bool queryFails = false;
};

// Parses a NORVALYN_OS_VERSION text; nullopt when it is not understood.
std::optional<OsVersionInfo> ParseOsVersion(std::string_view text);

// The record in force for this process (environment read on every call).
OsVersionInfo QueryOsVersion();

}  // namespace nv::platform
