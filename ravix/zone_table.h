// The program's picture of the flash: chips and zone groups from the flash
// layout reply, the bad-block map filled from zone scans, and the spare
// allocation table sent back to the controller.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace nv::ravix {

struct ZoneTable {
    std::uint32_t chipCount = 0;
    std::array<std::uint32_t, 512> groups{};
    std::array<std::uint32_t, 512> blocks{};
    std::uint32_t total = 0;
};

// Chips are the reply bytes before the first AAh; every chip has the zone
// groups of byte 17 and the blocks of bytes 19 (high) and 20 (low).
ZoneTable ParseFlashLayout(std::span<const std::uint8_t> reply);

// Chips with fewer than 1,024 blocks use zones 0 and 1 of each group only.
inline bool ZoneIsScanned(std::uint32_t blocks, std::uint32_t zone) { return blocks >= 1024 || zone % 4 < 2; }

// 4 chips x 64 zones x 256 blocks; marks outside that are dropped.
class BadBlockMap {
public:
    static constexpr std::uint32_t kChips = 4, kZones = 64, kBlocks = 256;
    BadBlockMap() : entries_(kChips * kZones * kBlocks, 0) {}
    void Clear() { std::fill(entries_.begin(), entries_.end(), 0); }
    void Mark(std::uint32_t chip, std::uint32_t zone, std::uint32_t block);
    bool IsBad(std::uint32_t chip, std::uint32_t zone, std::uint32_t block) const;

private:
    std::vector<std::uint32_t> entries_;
};

// Marks what one zone scan reply says: the whole zone for a first byte of
// 55h, AAh or FFh, else the block numbers of bytes 1 to 499 up to AAh 55h.
void MarkZoneScan(BadBlockMap& map, std::uint32_t chip, std::uint32_t zone, std::span<const std::uint8_t> reply);

// Bad blocks in the four zones of one zone group.
std::uint32_t CountGroupBad(const BadBlockMap& map, std::uint32_t chip, std::uint32_t group);

inline constexpr std::uint32_t kErrTooManyBadBlocks = 30;
using SpareTable = std::array<std::uint8_t, 512>;

// Fills the per-group spare entries (units of 4 blocks) and the fixed bytes.
// Returns 0, or 30 as soon as a chip's bad blocks exceed its budget of
// 10 x reserveFactor per group. The table has room for 24 chips of 16
// groups; groups beyond that are budgeted but not stored.
std::uint32_t FillSpareTable(SpareTable& table, const ZoneTable& zones, const BadBlockMap& map,
                             std::int32_t reserveFactor);

}  // namespace nv::ravix
