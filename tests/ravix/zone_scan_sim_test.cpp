// Bad-block scan and spare allocation on the simulated controller.
#include "ravix/zone_table.h"
#include "sim/ravix_world.h"
#include "sim_drive.h"

#include <gtest/gtest.h>

namespace nv::ravix {
namespace {

using nv::test::SimDrive;

sim::ravix::ControllerState OneChip(std::uint8_t groups) {
    auto s = sim::HealthyRavix("NV3K8Q2M");
    s.chips.assign(1, sim::ravix::Chip{});
    s.zoneGroups = groups;
    s.spares.assign(16, 25);
    return s;
}

TEST(ScanBadBlocksOnDrive, MarksWhatTheZonesReport) {
    auto s = sim::HealthyRavix("NV3K8Q2M");  // chip 0 zone 3: 5, 77, 170; chip 1 zone 10: 12
    s.chips[1].deadZones.insert(30);
    SimDrive drive(s);
    auto& d = drive.Dialog();
    int pumps = 0;
    d.View.pumpMessages = [&] { ++pumps; };
    d.ScanBadBlocks();
    EXPECT_EQ(d.CountGroupBad(0, 0), 3u);
    EXPECT_TRUE(d.BadBlocks.IsBad(0, 3, 170));
    EXPECT_EQ(d.CountGroupBad(1, 2), 1u);
    EXPECT_EQ(d.CountGroupBad(1, 7), 256u);
    EXPECT_EQ(d.CountGroupBad(0, 1), 0u);
    EXPECT_EQ(drive.Sent(0x95).size(), 2u * 32);
    EXPECT_EQ(pumps, 2 * 32);
    EXPECT_TRUE(drive.Sent(0xD3).empty());
    EXPECT_EQ(d.CurrentRef, kNoHandle);

    d.MlcMode = true;
    d.ScanBadBlocks();
    EXPECT_EQ(drive.Sent(0xD3).size(), 1u);
}

TEST(ScanBadBlocksOnDrive, SmallChipsSkipZonesTwoAndThree) {
    auto s = OneChip(2);
    s.blocksPerGroup = 512;
    s.chips[0].badBlocks[1] = {9};
    s.chips[0].badBlocks[2] = {9};
    s.chips[0].badBlocks[7] = {9};
    SimDrive drive(s);
    drive.Dialog().ScanBadBlocks();
    std::vector<int> zones;
    for (const auto& c : drive.Sent(0x95)) zones.push_back(c.cdb[2]);
    EXPECT_EQ(zones, (std::vector<int>{0, 1, 4, 5}));
    EXPECT_TRUE(drive.Dialog().BadBlocks.IsBad(0, 1, 9));
    EXPECT_FALSE(drive.Dialog().BadBlocks.IsBad(0, 2, 9));
    EXPECT_FALSE(drive.Dialog().BadBlocks.IsBad(0, 7, 9));
}

TEST(ScanBadBlocksOnDrive, FailedZoneEndsOnlyThatChip) {
    auto s = sim::HealthyRavix("NV3K8Q2M");
    s.chips[0].badBlocks[1] = {1};
    s.chips[1].badBlocks[1] = {2};
    // Readiness and layout, then chip 0's zones 0 and 1 work, zone 2 fails.
    s.faults.failAfter = 1 + 1 + 1 + 2;
    SimDrive drive(s);
    drive.Dialog().ScanBadBlocks();
    EXPECT_TRUE(drive.Dialog().BadBlocks.IsBad(0, 1, 1));
    const auto scans = drive.Sent(0x95);
    ASSERT_EQ(scans.size(), 4u) << "zone 2 of chip 0 fails, chip 1 zone 0 fails too";
    EXPECT_EQ(scans[2].cdb[1], 0);
    EXPECT_EQ(scans[3].cdb[1], 1);
}

struct Allocation {
    const char* name;
    std::uint8_t groups;
    std::map<int, std::vector<std::uint8_t>> bad;  // zone -> blocks
    std::set<int> dead;
    std::vector<std::uint8_t> entries;  // empty: error 30
};

std::vector<std::uint8_t> Blocks(int n) {
    std::vector<std::uint8_t> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(i));
    return v;
}

TEST(AllocateZonesOnDrive, SpareTableFollowsTheBadBlocks) {
    const Allocation cases[] = {
        {"four quiet groups", 4, {{1, {4}}, {6, {0, 1}}}, {}, {25, 25, 25, 25}},
        {"extra blocks to the first groups", 3, {{9, Blocks(17)}}, {}, {25, 25, 25}},
        {"a dead zone outgrows the budget", 2, {}, {5}, {}},
    };
    for (const Allocation& c : cases) {
        auto s = OneChip(c.groups);
        s.chips[0].badBlocks = c.bad;
        s.chips[0].deadZones = c.dead;
        SimDrive drive(s);
        auto& d = drive.Dialog();
        std::vector<int> progress;
        d.View.setProgress = [&](int p) { progress.push_back(p); };
        d.AllocateZones();
        const auto tables = drive.Sent(0xF5);
        if (c.entries.empty()) {
            EXPECT_EQ(d.ErrorCode, kErrTooManyBadBlocks) << c.name;
            EXPECT_TRUE(tables.empty()) << c.name;
            EXPECT_TRUE(drive.Sent(0x99).empty()) << c.name;
            EXPECT_TRUE(progress.empty()) << c.name;
            EXPECT_EQ(drive.State().spares, s.spares) << c.name;
            continue;
        }
        EXPECT_EQ(d.ErrorCode, 0u) << c.name;
        ASSERT_EQ(tables.size(), 1u) << c.name;
        const auto spares = drive.State().spares;  // taken over at Vendor96
        for (std::size_t g = 0; g < c.entries.size(); ++g) EXPECT_EQ(spares[g], c.entries[g]) << c.name << g;
        EXPECT_EQ(spares[c.entries.size()], 0) << c.name;
        EXPECT_EQ(progress, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100})) << c.name;
        EXPECT_EQ(drive.Clock().SleptMs(), 6000u) << c.name;
    }
}

TEST(AllocateZonesOnDrive, CommandsAfterTheTable) {
    for (bool mlc : {false, true}) {
        SimDrive drive(OneChip(4));
        drive.Dialog().MlcMode = mlc;
        drive.Dialog().AllocateZones();
        std::vector<std::uint8_t> after;
        bool seen = false;
        for (const auto& c : drive.Sent()) {
            if (c.cdb[0] == 0xF5) seen = true;
            if (seen) after.push_back(c.cdb[0]);
        }
        const std::vector<std::uint8_t> expected =
            mlc ? std::vector<std::uint8_t>{0xF5, 0x99, 0x96} : std::vector<std::uint8_t>{0xF5, 0x99, 0x00, 0x28, 0x96};
        EXPECT_EQ(after, expected) << mlc;
        EXPECT_EQ(drive.Sent(0x28).size(), mlc ? 0u : 1u);
        EXPECT_EQ(drive.Dialog().CurrentRef, kNoHandle);
    }
}

}  // namespace
}  // namespace nv::ravix
