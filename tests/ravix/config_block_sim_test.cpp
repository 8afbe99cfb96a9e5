// The configuration block on the simulated controller: read, rebuilt with a
// fresh serial, written and verified through page 1.
#include "ravix/config_block.h"
#include "ravix/flash_parts.h"
#include "sim/ravix_world.h"
#include "sim_drive.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nv::ravix {
namespace {

using nv::test::SimDrive;

std::string SerialOf(const std::array<std::uint8_t, 512>& block) {
    std::string s;
    for (int k = 0; k < 8; ++k) s += static_cast<char>(block[130 + 2 * k]);
    return s;
}

TEST(ConfigBlockOnDrive, LoadKeepsSettingsAndDescriptor) {
    SimDrive drive(sim::HealthyRavix("NV3K8Q2M"));
    auto& d = drive.Dialog();
    d.LoadConfigBlock();
    const auto block = drive.State().config;
    EXPECT_TRUE(std::equal(d.ConfigHead.begin(), d.ConfigHead.end(), block.begin()));
    EXPECT_TRUE(std::equal(d.FlashDescriptor.begin(), d.FlashDescriptor.end(), block.begin() + 353));
    EXPECT_TRUE(d.DescriptorIsValid());
    EXPECT_EQ(FlashPartName(d.FlashDescriptor), "K9G8G08U0M");
    EXPECT_FALSE(d.PerZoneFormat) << "maker 1 is formatted block by block";
    EXPECT_EQ(d.CurrentRef, kNoHandle);
}

TEST(ConfigBlockOnDrive, ZoneByZoneMakersSetPerZoneFormat) {
    for (std::uint8_t maker : {3, 7, 2}) {
        auto state = sim::HealthyRavix("NV3K8Q2M");
        state.config[353 + 1] = maker;
        SimDrive drive(state);
        drive.Dialog().PerZoneFormat = maker != 3 && maker != 7;
        drive.Dialog().LoadConfigBlock();
        EXPECT_EQ(drive.Dialog().PerZoneFormat, maker == 3 || maker == 7) << int(maker);
    }
}

TEST(ConfigBlockOnDrive, FailedReadShowsTheMessageAndKeepsTheOldValues) {
    auto state = sim::HealthyRavix("NV3K8Q2M");
    state.faults.failOpcode = 0x82;
    SimDrive drive(state);
    std::vector<std::string> shown;
    drive.Dialog().View.messageBox = [&](const std::string& text) { shown.push_back(text); };
    drive.Dialog().LoadConfigBlock();
    EXPECT_EQ(shown, std::vector<std::string>{"Error on Read Configuration Block"});
    EXPECT_TRUE(drive.Dialog().PerZoneFormat) << "as constructed";
    EXPECT_EQ(drive.Dialog().FlashDescriptor, FlashDescriptorBytes{});
    EXPECT_NE(drive.Dialog().CurrentRef, kNoHandle) << "the units stay open";
}

TEST(ConfigBlockOnDrive, RebuiltBlockCarriesANewSerialAndVerifies) {
    SimDrive drive(sim::HealthyRavix("NV3K8Q2M"));
    auto& d = drive.Dialog();
    d.LoadConfigBlock();
    const auto before = drive.State().config;
    d.WriteNewConfigBlock();
    const auto after = drive.State().config;

    platform::CrtRandom expect;
    const ConfigBlock built = BuildConfigBlock(d.ConfigHead, d.FlashDescriptor, expect, drive.Clock().Now());
    EXPECT_EQ(after, built);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 126, after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + 353, before.begin() + 401, after.begin() + 353));
    EXPECT_EQ(std::memcmp(after.data() + 213, "VXK", 3), 0);
    EXPECT_NE(SerialOf(after), SerialOf(before));
    EXPECT_EQ(sim::ravix::UsbSerial(drive.State()), SerialOf(after)) << "the drive enumerates with it";
    EXPECT_TRUE(d.VerifyConfigBlock());
    EXPECT_EQ(d.CurrentRef, kNoHandle);

    // Three readiness tests, then the block, all to the first unit.
    const auto& sent = drive.Sent();
    ASSERT_GE(sent.size(), 4u);
    std::size_t write = 0;
    while (write < sent.size() && sent[write].cdb[0] != 0x81) ++write;
    ASSERT_LT(write, sent.size());
    for (std::size_t i = write - 3; i < write; ++i) EXPECT_EQ(sent[i].cdb[0], 0x00);
    EXPECT_EQ(sent[write].length, 512u);
}

TEST(ConfigBlockOnDrive, TwoRebuildsInOneSecondDrawTheSameSerial) {
    SimDrive drive(sim::HealthyRavix("NV3K8Q2M"));
    auto& d = drive.Dialog();
    d.LoadConfigBlock();
    d.WriteNewConfigBlock();
    const std::string first = SerialOf(drive.State().config);
    drive.Clock().Advance(900);
    d.WriteNewConfigBlock();
    EXPECT_EQ(SerialOf(drive.State().config), first);
    drive.Clock().Advance(1000);
    d.WriteNewConfigBlock();
    EXPECT_NE(SerialOf(drive.State().config), first);
}

TEST(ConfigBlockOnDrive, VerificationFailsWhenPageOneDiffersOrCannotBeRead) {
    {
        SimDrive drive(sim::HealthyRavix("NV3K8Q2M"));
        drive.Dialog().LoadConfigBlock();
        drive.Dialog().ConfigHead[100] ^= 0xFF;
        EXPECT_FALSE(drive.Dialog().VerifyConfigBlock());
    }
    {
        // All-zero settings would match an unread, zeroed page: a read that
        // fails must not pass for a match.
        auto state = sim::HealthyRavix("NV3K8Q2M");
        state.faults.failOpcode = 0x9C;
        SimDrive drive(state);
        EXPECT_FALSE(drive.Dialog().VerifyConfigBlock());
    }
}

}  // namespace
}  // namespace nv::ravix
