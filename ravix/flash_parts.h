// Flash part numbers named by the flash descriptor of the configuration block.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace nv::ravix {

inline constexpr std::size_t kFlashDescriptorSize = 48;

// Descriptor bytes 1 (maker index), 2 (capacity letter), 3 (series index)
// and, for one key, 4 (package count) choose the part number. "Non-ISP" for
// a series index outside 1 to 10, the empty string for a key without a part.
std::string FlashPartName(std::span<const std::uint8_t, kFlashDescriptorSize> descriptor);

}  // namespace nv::ravix
