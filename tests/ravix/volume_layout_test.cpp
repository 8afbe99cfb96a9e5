#include "ravix/volume_layout.h"

#include "fat_check.h"
#include "shared/byte_order.h"

#include <gtest/gtest.h>

#include <set>

namespace nv::ravix {
namespace {

using nv::bytes::le16;
using nv::bytes::le32;
using nv::test::SparseImage;

// Writes the volume of N sectors into a sparse image of N sectors.
std::uint32_t WriteToImage(SparseImage& image, const VolumeLayout& l, std::uint32_t serial) {
    VolumeIo io;
    io.write = [&](std::uint32_t, std::uint32_t lba, std::uint32_t count, const std::uint8_t* data) {
        return image.Write(lba, count, data);
    };
    io.testUnitReady = [](std::uint32_t) {};
    return WriteVolume(l, serial, io);
}

TEST(VolumeLayout, TableFatAloneWouldBeRejectedJustBelowAPowerOfTwo) {
    // Shows why the next step's F is taken: with the table's F the checker
    // refuses the volume.
    auto l = *ComputeVolumeLayout(0, 0, 8'159'835);
    l.sectorsPerFat = 7'953;
    l.rootStart = l.volumeStart + 32 + 2 * l.sectorsPerFat;
    SparseImage image("short-fat", l.sectors);
    ASSERT_EQ(WriteToImage(image, l, 0), 0u);
    EXPECT_NE(nv::test::FsckVolume(image.Path(), 32).status, 0);
}

TEST(VolumeLayout, CountsTooSmallForAVolumeAreRefused) {
    for (std::int32_t n : {-1, 0, 33, 91, 127}) EXPECT_FALSE(ComputeVolumeLayout(0, 0, n)) << n;
    EXPECT_TRUE(ComputeVolumeLayout(0, 0, 128));
}

TEST(VolumeLayout, TableFatIsKeptWhereverItAddressesEveryCluster) {
    // Sample the whole FAT32 range: F is always the table's step or the next
    // one, and always addresses every cluster.
    const std::uint32_t steps[] = {7'953, 15'905, 31'809, 63'617, 127'233, 254'465, 508'929, 1'017'857, 2'035'713};
    for (std::uint64_t n = 4'096'001; n <= 0x7FFFFFFF; n += 1'999'993) {
        const auto l = ComputeVolumeLayout(0, 0, static_cast<std::int32_t>(n));
        ASSERT_TRUE(l);
        std::size_t row = 0;
        while (row < 8 && n >= (std::uint64_t{1} << (23 + row))) ++row;
        const bool tableSuffices = (n - 65 - 2 * steps[row]) / l->sectorsPerCluster + 2 <= steps[row] * 128ull;
        EXPECT_EQ(l->sectorsPerFat, tableSuffices ? steps[row] : steps[row + 1]) << n;
        EXPECT_LE(l->dataClusters() + 2ull, l->sectorsPerFat * 128ull) << n;
    }
}

struct Field {
    std::uint32_t offset, width;
    std::uint64_t value;
};

void ExpectFields(const Sector& s, std::initializer_list<Field> fields) {
    for (const Field& f : fields) {
        std::uint64_t v = 0;
        for (std::uint32_t i = 0; i < f.width; ++i) v |= static_cast<std::uint64_t>(s[f.offset + i]) << (8 * i);
        EXPECT_EQ(v, f.value) << "offset " << f.offset;
    }
}

std::uint64_t Text(const char* t, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(t[i])) << (8 * i);
    return v;
}

TEST(VolumeLayout, PartitionSectorFields) {
    const auto l = ComputeVolumeLayout(0, 0, 3'000'000);
    const Sector s = BuildPartitionSector(*l);
    // CHS end byte: 3,000,000 / 32 / 63 = 1488, low byte D0h
    ExpectFields(s, {{440, 6, 0}, {446, 1, 0}, {447, 3, 0x000101}, {450, 1, 6}, {451, 2, 0x3F20},
                     {453, 1, 0xD0}, {454, 4, 32}, {458, 4, 3'000'000 - 32}, {462, 8, 0}, {510, 2, 0xAA55}});
    for (std::size_t i = 470; i < 510; ++i) EXPECT_EQ(s[i], 0) << i;
    // A cylinder byte of 0 becomes 1: 32 * 63 * 256 sectors wraps to 0.
    EXPECT_EQ(BuildPartitionSector(*ComputeVolumeLayout(0, 0, 32 * 63 * 256))[453], 0x01);
    EXPECT_EQ(BuildPartitionSector(*ComputeVolumeLayout(0, 0, 1000))[453], 0x01);
}

TEST(VolumeLayout, Fat16BootSectorFields) {
    const auto l = ComputeVolumeLayout(0, 0, 100'000);
    const Sector s = BuildBootSector(*l, 0x55AA9380);
    ExpectFields(s, {{0, 3, 0x903EEB}, {3, 8, Text(")o-H]IHC", 8)}, {11, 2, 512}, {13, 1, 2}, {14, 2, 1},
                     {16, 1, 2}, {17, 2, 512}, {19, 2, 0}, {21, 1, 0xF8}, {22, 2, 255}, {24, 2, 32},
                     {26, 2, 32}, {28, 4, 0}, {32, 4, 100'000 - 33}, {36, 1, 0}, {37, 1, 0}, {38, 1, 0x29},
                     {39, 4, 0x55AA9380}, {43, 8, Text("NO NAME ", 8)}, {51, 3, Text("   ", 3)},
                     {54, 8, Text("FAT16   ", 8)}, {510, 2, 0xAA55}});
}

TEST(VolumeLayout, Fat32BootAndFsInfoFields) {
    const auto l = ComputeVolumeLayout(0, 0, 20'000'000);
    const Sector s = BuildBootSector(*l, 0x00019380);
    ExpectFields(s, {{0, 3, 0x9058EB}, {3, 8, Text("MSDOS5.0", 8)}, {11, 2, 512}, {13, 1, 16}, {14, 2, 32},
                     {16, 1, 2}, {17, 4, 0}, {21, 1, 0xF8}, {22, 2, 0}, {24, 2, 63}, {26, 2, 255},
                     {28, 4, 0}, {32, 4, 20'000'000 - 33}, {36, 4, 31'809}, {40, 4, 0}, {44, 4, 2},
                     {48, 2, 1}, {50, 2, 6}, {52, 8, 0}, {60, 4, 0}, {64, 1, 0}, {65, 1, 0}, {66, 1, 0x29},
                     {67, 4, 0x00019380}, {71, 8, Text("NO NAME ", 8)}, {82, 8, Text("FAT32   ", 8)},
                     {510, 2, 0xAA55}});
    ExpectFields(BuildFsInfoSector(), {{0, 4, Text("RRaA", 4)}, {4, 8, 0}, {476, 8, 0}, {484, 4, Text("rrAa", 4)},
                                       {488, 4, 0xFFFFFFFF}, {492, 4, 2}, {496, 8, 0}, {504, 6, 0},
                                       {510, 2, 0xAA55}});
    ExpectFields(BuildFatHead(FatType::Fat32), {{0, 4, 0xFFFFFFF8}, {4, 4, 0x0FFFFFFF}, {8, 4, 0x0FFFFFFF}, {12, 8, 0}});
    ExpectFields(BuildFatHead(FatType::Fat16), {{0, 4, 0xFFFFFFF8}, {4, 8, 0}});
    ExpectFields(BuildFatHead(FatType::Fat12), {{0, 4, 0x00FFFFF8}, {4, 8, 0}});
}

TEST(VolumeLayout, BootCodeCarriesItsMessages) {
    auto has = [](const Sector& s, std::size_t from, std::size_t to, const std::string& text) {
        return std::string(s.begin() + from, s.begin() + to).find(text) != std::string::npos;
    };
    const Sector mbr = BuildPartitionSector(*ComputeVolumeLayout(0, 0, 10'000));
    for (const char* m : {"Invalid partition table", "Error loading operating system", "Missing operating system"})
        EXPECT_TRUE(has(mbr, 0, 440, m)) << m;
    const Sector fat16 = BuildBootSector(*ComputeVolumeLayout(0, 0, 10'000), 0);
    for (const char* m : {"IO      SYS", "MSDOS   SYS", "WINBOOT SYS", "Invalid system disk", "Disk I/O error",
                          "Replace the disk, and then press any key"})
        EXPECT_TRUE(has(fat16, 62, 510, m)) << m;
    const Sector fat32 = BuildBootSector(*ComputeVolumeLayout(0, 0, 5'000'000), 0);
    for (const char* m : {"NTLDR", "NTLDR is missihg", "Disk error", "Press any key to restart"})
        EXPECT_TRUE(has(fat32, 90, 510, m)) << m;
}

TEST(VolumeLayout, WritesUseOnlyTheAllowedSizesInOrder) {
    const std::set<std::uint32_t> allowed = {1, 4, 8, 17, 33, 65, 128};
    for (std::int32_t n : {10'000, 100'000, 5'000'000, 10'000'000, 20'000'000, 40'000'000, 100'000'000}) {
        const auto l = ComputeVolumeLayout(0, 0, n);
        for (const VolumeStep& s : PlanVolumeWrites(*l))
            if (s.kind == VolumeStep::Kind::Write) {
                EXPECT_TRUE(allowed.count(s.count)) << n << " " << s.count;
            }
    }
    // FAT16: clear 8 x 128, zero 0/8/16/24, partition sector, ready, boot,
    // 2 x 32 FAT writes of 8, 4 root writes at V + 511.
    const auto plan = PlanVolumeWrites(*ComputeVolumeLayout(0, 0, 100'000));
    ASSERT_EQ(plan.size(), 8u + 4 + 1 + 1 + 1 + 64 + 4);
    EXPECT_EQ(plan[7].lba, 896u);
    EXPECT_EQ(plan[12].first, SectorContent::PartitionSector);
    EXPECT_EQ(plan[13].kind, VolumeStep::Kind::TestUnitReady);
    EXPECT_EQ(plan[14].lba, 32u);
    EXPECT_EQ(plan[15].lba, 33u);
    EXPECT_EQ(plan[15].first, SectorContent::FatHead);
    EXPECT_EQ(plan[47].lba, 32u + 256);
    EXPECT_EQ(plan[47].first, SectorContent::FatHead);
    EXPECT_EQ(plan[78].lba + 7, 32u + 511);  // the second copy's last write covers the first root sector
    EXPECT_EQ(plan[79].lba, 32u + 511);
    EXPECT_EQ(plan.back().errorCode, kErrRootDirectory);
    EXPECT_EQ(plan[79].errorCode, 0u);
}

TEST(VolumeLayout, Fat32RootClusterIsClearedWhole) {
    const auto l = ComputeVolumeLayout(0, 0, 100'000'000);
    EXPECT_EQ(l->sectorsPerCluster, 64u);
    const auto plan = PlanVolumeWrites(*l);
    std::uint32_t cleared = 0;
    for (const VolumeStep& s : plan)
        if (s.lba >= l->rootStart) cleared += s.count;
    EXPECT_EQ(cleared, 64u);
    EXPECT_EQ(plan.back().errorCode, kErrRootDirectory);
}

TEST(VolumeLayout, SecondUnitHasNoPartitionSector) {
    const auto l = ComputeVolumeLayout(1, 0, 100'000);
    EXPECT_EQ(l->volumeStart, 0u);
    for (const VolumeStep& s : PlanVolumeWrites(*l)) {
        EXPECT_EQ(s.slot, 1u);
        EXPECT_NE(s.first, SectorContent::PartitionSector);
    }
    EXPECT_EQ(VolumeSerial(0x7FFF, 1), 0x7FFF9381u);
}

struct FailCase {
    const char* name;
    std::int32_t n;
    std::function<bool(std::uint32_t lba, std::uint32_t count)> fails;
    std::uint32_t code;
};

TEST(VolumeLayout, FailedWritesEndWithTheirCode) {
    const FailCase cases[] = {
        {"clearing", 100'000, [](auto lba, auto count) { return lba == 256 && count == 128; }, kErrClearOrFat},
        {"zero sectors before the partition sector", 100'000, [](auto lba, auto count) { return lba == 8 && count == 8; }, 0},
        {"partition sector", 100'000, [](auto lba, auto count) { return lba == 0 && count == 1; }, kErrPartitionSector},
        {"FAT16 boot sector", 100'000, [](auto lba, auto count) { return lba == 32 && count == 1; }, kErrBootSector},
        {"FAT32 backup FSInfo", 5'000'000, [](auto lba, auto) { return lba == 39; }, kErrBootSector},
        {"FAT32 table tail", 5'000'000, [](auto, auto count) { return count == 17; }, kErrClearOrFat},
        {"FAT12 second copy", 10'000, [](auto lba, auto) { return lba == 32 + 13; }, kErrClearOrFat},
        {"first root write", 10'000, [](auto lba, auto) { return lba == 32 + 25; }, 0},
        {"last root write", 10'000, [](auto lba, auto) { return lba == 32 + 25 + 24; }, kErrRootDirectory},
    };
    for (const FailCase& c : cases) {
        std::vector<std::uint32_t> after;
        bool failed = false;
        VolumeIo io;
        io.write = [&](std::uint32_t, std::uint32_t lba, std::uint32_t count, const std::uint8_t*) {
            if (failed) after.push_back(lba);
            if (c.fails(lba, count)) failed = true;
            return !c.fails(lba, count);
        };
        io.testUnitReady = [](std::uint32_t) {};
        EXPECT_EQ(WriteVolume(*ComputeVolumeLayout(0, 0, c.n), 0, io), c.code) << c.name;
        if (c.code != 0) {
            EXPECT_TRUE(after.empty()) << c.name << ": nothing is written after a failure";
        }
    }
}

}  // namespace
}  // namespace nv::ravix
