#include "ravix/commands.h"

#include <gtest/gtest.h>

#include <array>

namespace nv::ravix {
namespace {

using Reply = std::array<std::uint8_t, 512>;

TEST(DeviceInfoReply, MixesBigAndLittleEndianFields) {
    Reply r{};
    r[0] = 0x00, r[1] = 0x1C, r[2] = 0xE0, r[3] = 0x00;  // 1892352, big-endian
    r[4] = 0xAB;
    r[5] = 'B';
    r[7] = 0x00, r[8] = 0x00, r[9] = 0x08, r[10] = 0x00;  // 524288, little-endian
    r[12] = 0x10, r[13] = 0x27;                           // 10000
    r[30] = 1;
    r[36] = 0x11, r[41] = 1, r[42] = 0x22, r[44] = 1;
    DeviceInfo d = DecodeDeviceInfo(r);
    EXPECT_EQ(d.totalSectors, 1892352u);
    EXPECT_EQ(d.controllerCode, 0xAB);
    EXPECT_EQ(d.revision, 'B');
    EXPECT_EQ(d.firstAreaSectors, 524288u);
    EXPECT_EQ(d.formatSectors, 10000u);
    EXPECT_EQ(d.formatFlag, 1);
    EXPECT_EQ(d.moduleByte36, 0x11);
    EXPECT_EQ(d.moduleSelect41, 1);
    EXPECT_EQ(d.moduleByte42, 0x22);
    EXPECT_EQ(d.moduleSkip44, 1);
}

TEST(DeviceStatusReply, ModeAt126StateAt128) {
    Reply r{};
    r[126] = 0x40;
    r[127] = 0x99;
    r[128] = 0xB0;
    DeviceStatus s = DecodeDeviceStatus(r);
    EXPECT_EQ(s.mode, 0x40);
    EXPECT_EQ(s.state, 0xB0);
}

TEST(FlashLayoutReply, ChipsUpToTheFirstAAh) {
    Reply r{};
    r[0] = 0xD3, r[1] = 0xDC, r[2] = 0xAA, r[3] = 0x75;
    r[17] = 8;
    r[19] = 0x04, r[20] = 0x00;
    FlashLayout f = DecodeFlashLayout(r);
    EXPECT_EQ(f.chipCount, 2u);
    EXPECT_EQ(f.chips, (std::vector<std::uint8_t>{0xD3, 0xDC}));
    EXPECT_EQ(f.zoneGroups, 8);
    EXPECT_EQ(f.ZonesPerChip(), 32u);
    EXPECT_EQ(f.blockCount, 1024);
}

TEST(FlashLayoutReply, LeadingAAhMeansNoChips) {
    Reply r{};
    r[0] = 0xAA;
    r[1] = 0xD3;
    r[17] = 8;
    EXPECT_EQ(DecodeFlashLayout(r).chipCount, 0u);
}

TEST(ZoneScanReply, WholeZoneMarkers) {
    for (std::uint8_t first : {0x55, 0xAA, 0xFF}) {
        Reply r{};
        r[0] = first;
        r[1] = 3;
        ZoneScan z = DecodeZoneScan(r);
        EXPECT_TRUE(z.wholeZoneBad) << int(first);
        EXPECT_TRUE(z.badBlocks.empty());
    }
}

TEST(ZoneScanReply, ListEndsAtAAh55hAndKeepsALoneAAh) {
    Reply r{};
    r.fill(0xEE);
    r[0] = 0x00;
    r[1] = 5, r[2] = 0xAA, r[3] = 0x54, r[4] = 0xFF, r[5] = 0xAA, r[6] = 0x55, r[7] = 9;
    ZoneScan z = DecodeZoneScan(r);
    EXPECT_FALSE(z.wholeZoneBad);
    EXPECT_EQ(z.badBlocks, (std::vector<std::uint8_t>{5, 0xAA, 0x54, 0xFF}));
}

TEST(ZoneScanReply, WithoutEndMarkerReadsUpToByte499) {
    Reply r{};
    r.fill(0x07);
    r[0] = 0x01;
    r[500] = 0xAA;
    r[501] = 0x55;
    ZoneScan z = DecodeZoneScan(r);
    EXPECT_EQ(z.badBlocks.size(), 499u);
    EXPECT_EQ(z.badBlocks.back(), 0x07);
}

TEST(Decoders, ShortRepliesDecodeAsEmpty) {
    std::array<std::uint8_t, 100> r{};
    r[0] = 0xD3;
    EXPECT_EQ(DecodeFlashLayout(r).chipCount, 0u);
    EXPECT_TRUE(DecodeZoneScan(r).badBlocks.empty());
    EXPECT_EQ(DecodeDeviceInfo(r).totalSectors, 0u);
}

}  // namespace
}  // namespace nv::ravix
