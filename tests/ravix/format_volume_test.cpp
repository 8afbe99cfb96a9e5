// FormatVolume on a simulated drive: the volume that lands on the medium is
// checked with fsck.fat and mtools, the commands with the recording port.
#include "fat_check.h"
#include "ravix/volume_layout.h"
#include "shared/byte_order.h"
#include "sim_drive.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <set>

namespace nv::ravix {
namespace {

using nv::bytes::le16;
using nv::bytes::le32;
using nv::test::DriveOf;
using nv::test::SimDrive;

std::array<std::uint8_t, 512> ReadSector(const std::string& image, std::uint64_t lba) {
    std::array<std::uint8_t, 512> s{};
    const int fd = ::open(image.c_str(), O_RDONLY);
    if (fd >= 0) {
        if (::pread(fd, s.data(), s.size(), static_cast<off_t>(lba * 512)) < 0) s.fill(0xEE);
        ::close(fd);
    }
    return s;
}

std::uint32_t ExpectedSerial(std::time_t now, std::uint32_t u) {
    platform::CrtRandom r;
    r.srand(static_cast<std::uint32_t>(now));
    return VolumeSerial(r.rand(), u);
}

struct Boundary {
    std::int32_t n;
    FatType type;
    std::uint32_t cluster;
    std::uint32_t fat;
    std::uint8_t partitionType;
};

// Every band and threshold of the type, cluster and FAT size tables, and the
// counts where the FAT32 table's F stops being enough for its clusters.
const Boundary kBoundaries[] = {
    {128, FatType::Fat12, 1, 12, 0x01},
    {2'880, FatType::Fat12, 1, 12, 0x01},
    {2'881, FatType::Fat12, 2, 12, 0x01},
    {8'192, FatType::Fat12, 2, 12, 0x01},
    {8'193, FatType::Fat12, 4, 12, 0x01},
    {14'336, FatType::Fat12, 4, 12, 0x01},
    {14'337, FatType::Fat12, 8, 12, 0x01},
    {15'999, FatType::Fat12, 8, 12, 0x01},
    {16'000, FatType::Fat12, 8, 12, 0x04},
    {32'000, FatType::Fat12, 8, 12, 0x06},
    {32'001, FatType::Fat16, 1, 255, 0x06},
    {64'000, FatType::Fat16, 1, 255, 0x06},
    {64'001, FatType::Fat16, 2, 255, 0x06},
    {128'000, FatType::Fat16, 2, 255, 0x06},
    {128'001, FatType::Fat16, 4, 255, 0x06},
    {256'001, FatType::Fat16, 8, 255, 0x06},
    {512'001, FatType::Fat16, 16, 255, 0x06},
    {1'024'001, FatType::Fat16, 32, 255, 0x06},
    {2'048'000, FatType::Fat16, 32, 255, 0x06},
    {2'048'001, FatType::Fat16, 64, 255, 0x06},
    {4'096'000, FatType::Fat16, 64, 255, 0x06},
    {4'096'001, FatType::Fat32, 8, 7'953, 0x06},
    {8'159'834, FatType::Fat32, 8, 7'953, 0x06},   // last count the step's F covers
    {8'159'835, FatType::Fat32, 8, 15'905, 0x06},  // from here the next step's F
    {8'388'607, FatType::Fat32, 8, 15'905, 0x06},
    {8'388'608, FatType::Fat32, 8, 15'905, 0x06},
    {16'318'586, FatType::Fat32, 8, 15'905, 0x06},
    {16'318'587, FatType::Fat32, 8, 31'809, 0x06},
    {16'384'001, FatType::Fat32, 16, 15'905, 0x06},
    {16'777'216, FatType::Fat32, 16, 31'809, 0x06},
    {32'768'001, FatType::Fat32, 32, 31'809, 0x06},
    {33'554'432, FatType::Fat32, 32, 63'617, 0x06},
    {65'536'001, FatType::Fat32, 64, 63'617, 0x06},
    {67'108'864, FatType::Fat32, 64, 127'233, 0x06},
    {134'217'728, FatType::Fat32, 64, 254'465, 0x06},
    {268'435'456, FatType::Fat32, 64, 508'929, 0x06},
    {536'870'912, FatType::Fat32, 64, 1'017'857, 0x06},
    {1'073'741'824, FatType::Fat32, 64, 2'035'713, 0x06},
    {2'147'483'647, FatType::Fat32, 64, 2'035'713, 0x06},
};




class VolumeSweep : public ::testing::TestWithParam<Boundary> {};

TEST_P(VolumeSweep, DriveGetsTheTablesVolumeAndToolsAcceptIt) {
    const Boundary& c = GetParam();
    SimDrive drive(DriveOf(static_cast<std::uint32_t>(c.n)));
    ASSERT_EQ(drive.Dialog().FormatVolume(0, 0, c.n), 0u);
    EXPECT_EQ(drive.Dialog().CurrentRef, kNoHandle) << "units closed after a volume is written";

    const std::string image = drive.MediaImage();
    const auto mbr = ReadSector(image, 0);
    const auto boot = ReadSector(image, 32);
    EXPECT_EQ(mbr[450], c.partitionType);
    EXPECT_EQ(le32(&mbr[454]), 32u);
    EXPECT_EQ(le32(&mbr[458]), static_cast<std::uint32_t>(c.n) - 32);
    EXPECT_EQ(boot[13], c.cluster);
    const std::uint32_t count = static_cast<std::uint32_t>(c.n) - 33;
    if (c.type == FatType::Fat32) {
        EXPECT_EQ(le32(&boot[36]), c.fat);
        EXPECT_EQ(le32(&boot[32]), count);
        EXPECT_EQ(le16(&boot[14]), 32);
        EXPECT_EQ(ReadSector(image, 32 + 6), boot) << "backup boot sector";
    } else {
        EXPECT_EQ(le16(&boot[22]), c.fat);
        const bool small = c.type == FatType::Fat12 || c.n <= 64'000;
        EXPECT_EQ(le16(&boot[19]), small ? count : 0u);
        EXPECT_EQ(le32(&boot[32]), small ? 0u : count);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[54]), 8),
                  c.type == FatType::Fat12 ? "FAT12   " : "FAT16   ");
    }
    EXPECT_EQ(le32(&boot[c.type == FatType::Fat32 ? 67 : 39]), ExpectedSerial(drive.Clock().Now(), 0));

    const auto fsck = nv::test::FsckVolume(image, 32, count);
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    const auto mdir = nv::test::MdirVolume(image, 32, count);
    EXPECT_EQ(mdir.status, 0) << mdir.output;
    EXPECT_NE(mdir.output.find("No files"), std::string::npos) << mdir.output;
}

INSTANTIATE_TEST_SUITE_P(Boundaries, VolumeSweep, ::testing::ValuesIn(kBoundaries),
                         [](const auto& info) { return "N" + std::to_string(info.param.n); });

TEST(FormatVolume, WritesGoOutAsTheSequenceSays) {
    SimDrive drive(DriveOf(5'000'000));
    ASSERT_EQ(drive.Dialog().FormatVolume(0, 0, 5'000'000), 0u);
    const auto plan = PlanVolumeWrites(*ComputeVolumeLayout(0, 0, 5'000'000));
    const auto writes = drive.Sent(0x2A);
    ASSERT_EQ(writes.size(), plan.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(bytes::be32(&writes[i].cdb[2]), plan[i].lba) << i;
        EXPECT_EQ(writes[i].cdb[8], plan[i].count) << i;
        EXPECT_EQ(writes[i].length, 512 * plan[i].count) << i;
    }
    // One readiness test before the writes; FAT32 sends no other.
    EXPECT_EQ(drive.Sent(0x00).size(), 1u);
    EXPECT_EQ(drive.Sent().front().cdb[0], 0x00);
}

TEST(FormatVolume, WrappedWritesWriteTheSameVolume) {
    SimDrive drive(DriveOf(100'000), "6.0.6000");
    ASSERT_EQ(drive.Dialog().OsCode, 37u);
    ASSERT_EQ(drive.Dialog().FormatVolume(0, 0, 100'000), 0u);
    EXPECT_TRUE(drive.Sent(0x2A).empty());
    for (const auto& c : drive.Sent(0xFA)) {
        if (c.cdb[1] != 0x2A) continue;
        EXPECT_EQ(c.cdbLength, 16);
        EXPECT_EQ(c.cdb[6], 0x80);
    }
    EXPECT_EQ(nv::test::FsckVolume(drive.MediaImage(), 32, 100'000 - 33).status, 0);
}

TEST(FormatVolume, SameSecondSameSerialAndTheUnitInTheLowHalf) {
    SimDrive drive(DriveOf(100'000));
    ASSERT_EQ(drive.Dialog().FormatVolume(0, 0, 100'000), 0u);
    const std::uint32_t first = le32(&ReadSector(drive.MediaImage(), 32)[39]);
    drive.Clock().Advance(300);  // still the same second
    drive.Random().rand();
    ASSERT_EQ(drive.Dialog().FormatVolume(0, 0, 100'000), 0u);
    EXPECT_EQ(le32(&ReadSector(drive.MediaImage(), 32)[39]), first);
    EXPECT_EQ(first & 0xFFFF, 0x9380u);
    drive.Clock().Advance(1000);
    ASSERT_EQ(drive.Dialog().FormatVolume(0, 0, 100'000), 0u);
    EXPECT_NE(le32(&ReadSector(drive.MediaImage(), 32)[39]), first);
}

TEST(FormatVolume, SecondAreaGetsAVolumeWithoutPartitionSector) {
    auto state = DriveOf(0);
    state.capacityOverride = 0;
    state.secondAreaSectors = 200'000;
    SimDrive drive(state);
    const std::uint32_t first = sim::ravix::FirstAreaSectors(drive.State());
    ASSERT_GT(first, 0u);
    ASSERT_EQ(drive.Dialog().FormatVolume(1, 0, 200'000), 0u);
    const auto boot = ReadSector(drive.MediaImage(1), 0);
    EXPECT_EQ(le32(&boot[39]) & 0xFFFF, 0x9381u);
    EXPECT_EQ(nv::test::FsckVolume(drive.MediaImage(1), 0, 200'000 - 33).status, 0);
    for (const auto& c : drive.Sent(0x2A)) EXPECT_EQ(c.handle, drive.Sent().back().handle);
    // Images are sparse and as long as their areas: no data blocks means no writes.
    struct stat st {};
    ASSERT_EQ(::stat(drive.MediaImage(0).c_str(), &st), 0);
    EXPECT_EQ(st.st_blocks, 0) << "nothing for the first area";
}

struct Failure {
    const char* name;
    std::int32_t n;
    std::uint32_t commandsThatWork;  // the readiness test is the first
    std::uint32_t code;
};

TEST(FormatVolume, FailuresEndWithTheirCodeAndLeaveTheUnitsOpen) {
    // FAT16 of 100,000: ready, 8 clearing writes, 4 zero writes, partition
    // sector, ready, boot sector, 64 FAT writes, 4 root writes.
    const Failure cases[] = {
        {"first clearing write", 100'000, 1, kErrClearOrFat},
        {"partition sector", 100'000, 13, kErrPartitionSector},
        {"boot sector", 100'000, 15, kErrBootSector},
        {"second FAT copy", 100'000, 16 + 32, kErrClearOrFat},
        {"last root write", 100'000, 16 + 64 + 3, kErrRootDirectory},
        {"FAT32 FSInfo", 5'000'000, 1 + 32 + 4 + 1 + 1, kErrBootSector},
    };
    for (const Failure& c : cases) {
        auto state = DriveOf(static_cast<std::uint32_t>(c.n));
        state.faults.failAfter = c.commandsThatWork;
        SimDrive drive(state);
        EXPECT_EQ(drive.Dialog().FormatVolume(0, 0, c.n), c.code) << c.name;
        EXPECT_NE(drive.Dialog().CurrentRef, kNoHandle) << c.name;
        EXPECT_EQ(drive.Sent().size(), c.commandsThatWork + 1) << c.name << ": nothing after the failure";
    }
}

TEST(FormatVolume, CountsTooSmallFailWithoutTouchingTheDrive) {
    for (std::int32_t n : {-5, 0, 100, 127}) {
        SimDrive drive(DriveOf(4096));
        EXPECT_EQ(drive.Dialog().FormatVolume(0, 0, n), kErrClearOrFat) << n;
        EXPECT_TRUE(drive.Sent().empty()) << n;
    }
    SimDrive drive(DriveOf(4096));
    EXPECT_EQ(drive.Dialog().FormatVolume(2, 0, 1000), kErrClearOrFat) << "no third unit slot";
    EXPECT_TRUE(drive.Sent().empty());
}

}  // namespace
}  // namespace nv::ravix
