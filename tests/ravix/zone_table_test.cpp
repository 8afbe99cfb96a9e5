#include "ravix/zone_table.h"

#include <gtest/gtest.h>

#include <array>

namespace nv::ravix {
namespace {

using Reply = std::array<std::uint8_t, 512>;

Reply ScanReply(std::initializer_list<int> bytes) {
    Reply r{};
    std::size_t i = 0;
    for (int b : bytes) r[i++] = static_cast<std::uint8_t>(b);
    return r;
}

ZoneTable Chips(std::uint32_t chips, std::uint32_t groups, std::uint32_t blocks = 1024) {
    ZoneTable t;
    t.chipCount = chips;
    for (std::uint32_t c = 0; c < chips; ++c) {
        t.groups[c] = groups;
        t.blocks[c] = blocks;
        t.total += groups * blocks;
    }
    return t;
}

void MarkBad(BadBlockMap& map, std::uint32_t chip, std::uint32_t zone, std::uint32_t count) {
    for (std::uint32_t b = 0; b < count; ++b) map.Mark(chip, zone, b);
}

TEST(ZoneScanMarks, ListEndsOnlyAtTheAaFiftyFivePair) {
    BadBlockMap map;
    MarkZoneScan(map, 0, 1, ScanReply({0x00, 3, 0xAA, 0x07, 0xAA, 0x55, 9}));
    EXPECT_TRUE(map.IsBad(0, 1, 3));
    EXPECT_TRUE(map.IsBad(0, 1, 170)) << "a lone AAh is block 170";
    EXPECT_TRUE(map.IsBad(0, 1, 7));
    EXPECT_FALSE(map.IsBad(0, 1, 9)) << "after the end marker";
    EXPECT_EQ(CountGroupBad(map, 0, 0), 3u);

    // Without a marker the list runs to byte 499; byte 500 is not a block.
    Reply full{};
    full.fill(0x11);
    full[0] = 0;
    full[499] = 0x22;
    full[500] = 0x33;
    BadBlockMap m2;
    MarkZoneScan(m2, 0, 0, full);
    EXPECT_TRUE(m2.IsBad(0, 0, 0x22));
    EXPECT_FALSE(m2.IsBad(0, 0, 0x33));
}

TEST(ZoneScanMarks, WholeZoneForFiftyFiveAaAndFf) {
    for (int first : {0x55, 0xAA, 0xFF}) {
        BadBlockMap map;
        MarkZoneScan(map, 1, 5, ScanReply({first, 0xAA, 0x55}));
        EXPECT_EQ(CountGroupBad(map, 1, 1), 256u) << first;
        EXPECT_EQ(CountGroupBad(map, 1, 0), 0u);
    }
}

TEST(ZoneScanMarks, MarksBeyondTheMapAreDropped) {
    BadBlockMap map;
    MarkZoneScan(map, 4, 0, ScanReply({0xFF}));
    MarkZoneScan(map, 0, 64, ScanReply({0xFF}));
    for (std::uint32_t c = 0; c < 4; ++c)
        for (std::uint32_t g = 0; g < 16; ++g) EXPECT_EQ(CountGroupBad(map, c, g), 0u);
    EXPECT_EQ(CountGroupBad(map, 4, 0), 0u);
    EXPECT_EQ(CountGroupBad(map, 0, 16), 0u);
}

TEST(ZoneTableParse, ChipsUpToTheFirstAa) {
    Reply r{};
    r[0] = 0xD3;
    r[1] = 0xD3;
    r[2] = 0xAA;
    r[17] = 8;
    r[19] = 0x04;
    r[20] = 0x00;
    const ZoneTable t = ParseFlashLayout(r);
    EXPECT_EQ(t.chipCount, 2u);
    EXPECT_EQ(t.groups[1], 8u);
    EXPECT_EQ(t.blocks[1], 1024u);
    EXPECT_EQ(t.total, 2u * 8 * 1024);
    r[0] = 0xAA;
    EXPECT_EQ(ParseFlashLayout(r).chipCount, 0u);
    EXPECT_TRUE(ZoneIsScanned(1024, 2));
    EXPECT_TRUE(ZoneIsScanned(512, 5));
    EXPECT_FALSE(ZoneIsScanned(512, 6));
    EXPECT_FALSE(ZoneIsScanned(1023, 7));
}

struct SpareCase {
    const char* name;
    std::uint32_t groups;
    std::vector<std::uint32_t> badPerGroup;  // in zone 4g of chip 0
    std::vector<std::uint8_t> entries;       // expected; empty: error 30
};

TEST(SpareTable, EntriesShareTheBudget) {
    const SpareCase cases[] = {
        {"four quiet groups", 4, {3, 0, 15, 1}, {25, 25, 25, 25}},
        {"extra to the first groups", 3, {0, 0, 17}, {25, 25, 25}},
        {"need rounded up to 4", 2, {16, 21}, {24, 26}},  // 200 - 16 - 24 = 160, share 80
        {"a dead zone needs 256 of 200", 2, {256, 0}, {}},
        {"budget used up exactly", 1, {97}, {}},
    };
    for (const SpareCase& c : cases) {
        BadBlockMap map;
        for (std::uint32_t g = 0; g < c.badPerGroup.size(); ++g) MarkBad(map, 0, 4 * g, c.badPerGroup[g]);
        SpareTable table{};
        const std::uint32_t err = FillSpareTable(table, Chips(1, c.groups), map, 10);
        if (c.entries.empty()) {
            EXPECT_EQ(err, kErrTooManyBadBlocks) << c.name;
            continue;
        }
        EXPECT_EQ(err, 0u) << c.name;
        for (std::size_t g = 0; g < c.entries.size(); ++g) EXPECT_EQ(table[128 + g], c.entries[g]) << c.name << g;
        EXPECT_EQ(table[128 + c.entries.size()], 0) << c.name;
    }
}

TEST(SpareTable, FixedBytesAndChipRows) {
    BadBlockMap map;
    SpareTable table{};
    ASSERT_EQ(FillSpareTable(table, Chips(2, 4), map, 10), 0u);
    EXPECT_EQ(table[0], 0x00);
    EXPECT_EQ(table[1], 0x51);
    EXPECT_EQ(table[2], 0x00);
    EXPECT_EQ(table[3], 0x51);
    EXPECT_EQ(table[126], 0x51);
    EXPECT_EQ(table[127], 0x15);
    EXPECT_EQ(table[128 + 16 + 3], 25);
    EXPECT_EQ(table[128 + 16 + 4], 0);
    // No chips: only the fixed bytes.
    SpareTable empty{};
    EXPECT_EQ(FillSpareTable(empty, ZoneTable{}, map, 10), 0u);
    EXPECT_EQ(empty[128], 0);
}

TEST(SpareTable, LayoutsBeyondTheTableStayInsideIt) {
    BadBlockMap map;
    // 30 chips of 20 groups: only chips 0 to 23, groups 0 to 15 fit.
    SpareTable table{};
    ASSERT_EQ(FillSpareTable(table, Chips(30, 20), map, 10), 0u);
    for (std::size_t c = 0; c < 24; ++c)
        for (std::size_t g = 0; g < 16; ++g) EXPECT_NE(table[128 + 16 * c + g], 0) << c << " " << g;
    // 17 groups on chip 0 must not spill into chip 1's row.
    SpareTable narrow{};
    ASSERT_EQ(FillSpareTable(narrow, Chips(1, 17), map, 10), 0u);
    EXPECT_EQ(narrow[128 + 16], 0);
}

TEST(SpareTable, ZoneGroupsBeyondTheMapCountNoBadBlocks) {
    BadBlockMap map;
    MarkBad(map, 0, 0, 40);
    SpareTable table{};
    ASSERT_EQ(FillSpareTable(table, Chips(5, 1), map, 10), 0u);
    EXPECT_EQ(table[128], (40 + 60) / 4);  // budget 100 - 40 = 60
    EXPECT_EQ(table[128 + 16 * 4], 25);   // chip 4 is never marked
}

}  // namespace
}  // namespace nv::ravix
