// Boot code of the partition sector and of the FAT boot sectors.
#pragma once

#include <cstdint>
#include <span>

namespace nv::ravix {

// At most 440 bytes, placed at offset 0 of the partition sector.
std::span<const std::uint8_t> PartitionLoader();
// At most 448 bytes, placed at offset 62 of a FAT12 or FAT16 boot sector.
std::span<const std::uint8_t> Fat16Loader();
// At most 420 bytes, placed at offset 90 of a FAT32 boot sector.
std::span<const std::uint8_t> Fat32Loader();

}  // namespace nv::ravix
