#include "sim/port_tap.h"

#include <cstring>

namespace nv::sim {

bool PortTap::PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                                std::span<std::uint8_t> data) {
    TappedCommand c;
    c.handle = handle;
    std::memcpy(c.cdb.data(), block.data() + platform::ptd::kCdb, c.cdb.size());
    c.cdbLength = block[platform::ptd::kCdbLength];
    c.length = data.size();
    c.ok = inner_->PassThroughDirect(handle, block, data);
    if (listener_) listener_(c);
    return c.ok;
}

}  // namespace nv::sim
