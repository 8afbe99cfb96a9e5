#include "ravix/zone_table.h"

#include "ravix/commands.h"
#include "ravix/recovery_dialog.h"

namespace nv::ravix {

ZoneTable ParseFlashLayout(std::span<const std::uint8_t> reply) {
    ZoneTable t;
    const FlashLayout layout = DecodeFlashLayout(reply);
    t.chipCount = std::min<std::uint32_t>(layout.chipCount, t.groups.size());
    for (std::uint32_t i = 0; i < t.chipCount; ++i) {
        t.groups[i] = layout.zoneGroups;
        t.blocks[i] = layout.blockCount;
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
    const ZoneScan scan = DecodeZoneScan(reply);
    if (scan.wholeZoneBad) {
        for (std::uint32_t b = 0; b < BadBlockMap::kBlocks; ++b) map.Mark(chip, zone, b);
        return;
    }
    for (std::uint8_t b : scan.badBlocks) map.Mark(chip, zone, b);
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

// --- on the drive ----------------------------------------------------------

void RecoveryDialog::ReadZoneTable(ZoneTable& table) {
    table = ZoneTable{};
    ReadyLoop(10, false);
    std::array<std::uint8_t, 512> reply{};
    if (GetFlashLayout(UnitSlots[0], reply)) table = ParseFlashLayout(reply);
    CloseDevices();
}

void RecoveryDialog::ScanBadBlocks() {
    ZoneTable zones;
    ReadZoneTable(zones);
    ReadyLoop(10, false);
    std::array<std::uint8_t, 512> reply{};
    for (std::uint32_t c = 0; c < zones.chipCount; ++c) {
        for (std::uint32_t z = 0; z < 4 * zones.groups[c]; ++z) {
            PumpMessages();
            if (!ZoneIsScanned(zones.blocks[c], z)) continue;
            reply.fill(0);
            // A zone that cannot be scanned ends this chip; its marks so far stay.
            if (!ScanZone(UnitSlots[0], static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(z), reply)) break;
            MarkZoneScan(BadBlocks, c, z, reply);
        }
    }
    if (MlcMode) VendorD3(UnitSlots[0]);
    CloseDevices();
}

std::uint32_t RecoveryDialog::CountGroupBad(std::uint32_t chip, std::uint32_t group) const {
    return nv::ravix::CountGroupBad(BadBlocks, chip, group);
}

void RecoveryDialog::AllocateZones() {
    SpareTable table{};
    ZoneTable zones;
    ReadZoneTable(zones);
    BadBlocks.Clear();
    ScanBadBlocks();
    if (FillSpareTable(table, zones, BadBlocks, ReserveFactor) != 0) {
        ErrorCode = kErrTooManyBadBlocks;
        return;
    }
    ReadyLoop(0, true);
    VendorF5(UnitSlots[0], table);
    std::array<std::uint8_t, 512> buffer{};
    buffer[20] = 0x01;
    Vendor99(UnitSlots[0], buffer);
    if (!MlcMode) {
        TestUnitReady(UnitSlots[0]);
        ReadSectors(UnitSlots[0], 1, 0, buffer);
    }
    buffer.fill(0);
    Vendor96(UnitSlots[0]);
    CloseDevices();
    // The controller settles its new spare areas meanwhile; the bar shows
    // that the program is still at work.
    for (int p = 0; p < 100; p += 10) {
        if (View.setProgress) View.setProgress(p);
        Clock.Sleep(600);
        PumpMessages();
    }
    if (View.setProgress) View.setProgress(100);
}

}  // namespace nv::ravix
