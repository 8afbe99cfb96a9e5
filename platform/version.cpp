#include "platform/version.h"

#include "platform/env.h"

#include <charconv>

namespace nv::platform {
namespace {

bool take_number(std::string_view& s, std::uint32_t& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    if (ec != std::errc() || p == s.data()) return false;
    s.remove_prefix(static_cast<std::size_t>(p - s.data()));
    return true;
}

}  // namespace

std::optional<OsVersionInfo> ParseOsVersion(std::string_view text) {
    OsVersionInfo v;
    if (text == "fail") {
        v.queryFails = true;
        return v;
    }
    std::optional<std::uint32_t> platform;
    for (;;) {
        if (text.starts_with("nt:")) platform = kPlatformNT, text.remove_prefix(3);
        else if (text.starts_with("9x:")) platform = kPlatform9x, text.remove_prefix(3);
        else if (text.starts_with("win32s:")) platform = kPlatformWin32s, text.remove_prefix(7);
        else if (text.starts_with("noex:")) v.extendedQueryFails = true, text.remove_prefix(5);
        else break;
    }
    if (!take_number(text, v.major)) return std::nullopt;
    if (text.empty() || text.front() != '.') return std::nullopt;
    text.remove_prefix(1);
    if (!take_number(text, v.minor)) return std::nullopt;
    v.build = 0;
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        if (!take_number(text, v.build)) return std::nullopt;
    }
    // The rest, blank included, is the service-pack text: " A" marks 98 SE.
    v.csdVersion = std::string(text);
    if (platform) {
        v.platformId = *platform;
    } else if (v.major == 4 && (v.minor == 10 || v.minor == 90 || (v.minor == 0 && v.build < 1000))) {
        v.platformId = kPlatform9x;
    } else {
        v.platformId = kPlatformNT;
    }
    return v;
}

OsVersionInfo QueryOsVersion() {
    if (auto text = GetEnv("NORVALYN_OS_VERSION"))
        if (auto v = ParseOsVersion(*text)) return *v;
    return OsVersionInfo{};
}

}  // namespace nv::platform
