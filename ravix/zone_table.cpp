#include "ravix/zone_table.h"

namespace nv::ravix {

ZoneTable ParseFlashLayout(std::span<const std::uint8_t> reply) {
    ZoneTable t;
    std::uint32_t chips = 0;
    while (chips < reply.size() && reply[chips] != 0xAA) ++chips;
    if (chips == 0 || reply.size() < 21) return t;
    t.chipCount = std::min<std::uint32_t>(chips, t.groups.size());
    for (std::uint32_t i = 0; i < t.chipCount; ++i) {
        t.groups[i] = reply[17];
        t.blocks[i] = reply[19] * 256u + reply[20];
        t.total += t.groups[i] * t.blocks[i];
    }
    return t;
}

void BadBlockMap::Mark(std::uint32_t chip, std::uint32_t zone, std::uint32_t block) {
    if (chip < kChips && zone < kZones && block < kBlocks) entries_[(chip * kZones + zone) * kBlocks + block] = 1;
}

bool BadBlockMap::IsBad(std::uint32_t chip, std::uint32_t zone, std::uint32_t block) const {
    return chip < kChips && zone < kZones && block < kBlocks && entries_[(chip * kZones + zone) * kBlocks + block] != 0;
}

void MarkZoneScan(BadBlockMap& map, std::uint32_t chip, std::uint32_t zone, std::span<const std::uint8_t> reply) {
    if (reply.size() < 501) return;
    if (reply[0] == 0x55 || reply[0] == 0xAA || reply[0] == 0xFF) {
        for (std::uint32_t b = 0; b < BadBlockMap::kBlocks; ++b) map.Mark(chip, zone, b);
        return;
    }
    for (std::size_t i = 1; i <= 499; ++i) {
        // Only the pair AAh 55h ends the list; a lone AAh is block 170.
        if (reply[i] == 0xAA && reply[i + 1] == 0x55) break;
        map.Mark(chip, zone, reply[i]);
    }
}

std::uint32_t CountGroupBad(const BadBlockMap& map, std::uint32_t chip, std::uint32_t group) {
    std::uint32_t n = 0;
    for (std::uint32_t z = 4 * group; z < 4 * group + 4; ++z)
        for (std::uint32_t b = 0; b < BadBlockMap::kBlocks; ++b) n += map.IsBad(chip, z, b) ? 1 : 0;
    return n;
}

std::uint32_t FillSpareTable(SpareTable& table, const ZoneTable& zones, const BadBlockMap& map,
                             std::int32_t reserveFactor) {
    table[0] = 0x00;
    table[1] = 0x51;
    table[3] = 0x51;
    table[126] = 0x51;
    table[127] = 0x15;
    for (std::uint32_t c = 0; c < zones.chipCount; ++c) {
        const auto G = static_cast<std::int64_t>(zones.groups[c]);
        std::int64_t budget = G * 10 * reserveFactor;
        std::vector<std::int64_t> need(static_cast<std::size_t>(G));
        for (std::uint32_t g = 0; g < G; ++g) {
            const std::int64_t bad = std::max<std::uint32_t>(CountGroupBad(map, c, g), 16);
            need[g] = (bad + 3) / 4 * 4;
            budget -= need[g];
        }
        budget = budget / 4 * 4;
        if (budget <= 0) return kErrTooManyBadBlocks;
        const std::int64_t share = budget / G / 4 * 4;
        const std::int64_t extra = (budget - G * share) / 4;
        for (std::uint32_t g = 0; g < G; ++g) {
            std::int64_t entry = (need[g] + share) / 4;
            if (g < extra) ++entry;
            // Room for chips 0 to 23 with groups 0 to 15 only: writing past
            // it would land in the next chip's entries or beyond the block.
            if (c < 24 && g < 16) table[128 + 16 * c + g] = static_cast<std::uint8_t>(entry);
        }
    }
    return 0;
}

}  // namespace nv::ravix
