#include "platform/admin.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace nv::platform {
namespace {
constexpr unsigned kCapSysRawIo = 17;
}

bool StatusHasRawIo(std::string_view status) {
    std::size_t pos = 0;
    while (pos < status.size()) {
        std::size_t end = status.find('\n', pos);
        if (end == std::string_view::npos) end = status.size();
        std::string_view line = status.substr(pos, end - pos);
        pos = end + 1;
        if (!line.starts_with("CapEff:")) continue;
        line.remove_prefix(7);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        std::uint64_t caps = 0;
        auto [p, ec] = std::from_chars(line.data(), line.data() + line.size(), caps, 16);
        if (ec != std::errc() || p == line.data()) return false;
        return (caps >> kCapSysRawIo) & 1;
    }
    return false;
}

bool IsUserAdmin() {
    if (::geteuid() == 0) return true;
    std::ifstream in("/proc/self/status");
    std::stringstream text;
    text << in.rdbuf();
    return StatusHasRawIo(text.str());
}

}  // namespace nv::platform
