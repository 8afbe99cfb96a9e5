// A FAT volume written sector by sector through the transport lands in the
// simulated medium exactly: fsck.fat accepts the image the drive keeps.
#include "ravix/recovery_dialog.h"
#include "sim/presets.h"
#include "sim/ravix_world.h"
#include "sim/scsi_port.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>

namespace fs = std::filesystem;

namespace nv::simtest {
namespace {

TEST(RavixSimMedia, VolumeCopiedThroughTheTransportPassesFsck) {
    for (std::uint32_t osCode : {32u, 37u}) {
        SCOPED_TRACE(osCode);
        nv::test::TempDir scratch;
        const std::string dir = scratch / "world";
        sim::WorldWriter w(dir);
        ASSERT_TRUE(w.Create("test", nullptr));
        auto state = sim::HealthyRavix("MEDIA001");
        state.capacityOverride = 65536;  // a small drive keeps the copy quick
        sim::AddRavixDrive(w, state);
        nv::test::ScopedEnv sim_env("NORVALYN_SIM", dir);

        std::string source = dir + "/source.img";
        std::string cmd = "mkfs.fat -C -n NORVALYN " + source + " 32768 >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);

        auto port = sim::MakeScsiPort();
        platform::VirtualClock clock;
        platform::CrtRandom random;
        ravix::RecoveryDialog d(*port, clock, random);
        d.OsCode = osCode;
        d.OpenDevice();
        ASSERT_EQ(d.UnitCount, 1u);
        std::ifstream in(source, std::ios::binary);
        std::vector<std::uint8_t> chunk(128 * 512);
        std::uint32_t lba = 0;
        while (in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size())) ||
               in.gcount() > 0) {
            auto count = static_cast<std::uint32_t>(in.gcount() / 512);
            ASSERT_TRUE(d.WriteSectors(d.UnitSlots[0], count, lba, chunk)) << "LBA " << lba;
            lba += count;
        }
        EXPECT_EQ(lba, 65536u);
        d.CloseDevices();

        std::string image = sim::ravix::DriveDir(dir, "1-1") + "/lun0.img";
        EXPECT_EQ(std::system(("fsck.fat -n " + image + " >/dev/null 2>&1").c_str()), 0);
    }
}

// The commands that end a repair, on a drive with a damaged configuration:
// spare table and capacity commit, a new configuration block, a volume over
// the new capacity. The drive then reports its new identity and capacity,
// and its medium holds a volume fsck.fat accepts.
TEST(RavixSimMedia, RepairEndsInNewIdentityCapacityAndACleanVolume) {
    nv::test::TempDir scratch;
    const std::string dir = scratch / "world";
    std::string error;
    ASSERT_TRUE(sim::CreatePreset(dir, "ravix-damaged", &error)) << error;
    nv::test::ScopedEnv sim_env("NORVALYN_SIM", dir);
    auto port = sim::MakeScsiPort();
    platform::VirtualClock clock;
    platform::CrtRandom random;
    ravix::RecoveryDialog d(*port, clock, random);
    d.OsCode = 32;
    d.OpenDevice();
    auto unit = d.UnitSlots[0];

    std::array<std::uint8_t, 512> table{}, fixed{}, info{}, config{}, page1{};
    for (int c = 0; c < 2; ++c)
        for (int g = 0; g < 8; ++g) table[128 + 16 * c + g] = 25;
    fixed[20] = 0x01;
    ASSERT_TRUE(d.VendorF5(unit, table));
    ASSERT_TRUE(d.Vendor99(unit, fixed));
    ASSERT_TRUE(d.Vendor96(unit));
    ASSERT_TRUE(d.GetDeviceInfo(unit, info));
    std::uint32_t total = ravix::DecodeDeviceInfo(info).totalSectors;
    EXPECT_EQ(total, 1892352u);

    ASSERT_TRUE(d.ReadConfigBlock(unit, config));
    auto fresh = sim::ravix::MakeConfigBlock(*sim::ravix::LoadState(sim::ravix::DriveDir(dir, "1-1")), "RP7Q2K9X");
    std::copy_n(config.begin(), 126, fresh.begin());
    ASSERT_TRUE(d.WriteConfigBlock(unit, fresh));
    ASSERT_TRUE(d.ReadConfigPage(unit, 1, page1));
    EXPECT_TRUE(std::equal(config.begin(), config.begin() + 126, page1.begin()));

    // The volume: what mkfs.fat makes for this size. It writes only the
    // start (boot sector, FATs, root); the rest of the drive reads as zeros.
    std::string source = dir + "/volume.img";
    ASSERT_EQ(std::system(("mkfs.fat -C " + source + " " + std::to_string(total / 2) + " >/dev/null 2>&1").c_str()), 0);
    std::ifstream in(source, std::ios::binary);
    std::vector<std::uint8_t> chunk(128 * 512);
    std::uint32_t lba = 0;
    while (lba < 32768 && in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()))) {
        if (std::any_of(chunk.begin(), chunk.end(), [](auto b) { return b != 0; })) {
            ASSERT_TRUE(d.WriteSectors(unit, 128, lba, chunk)) << lba;
        }
        lba += 128;
    }
    fs::remove(source);
    d.CloseDevices();

    ASSERT_TRUE(sim::Replug(dir, &error)) << error;
    std::ostringstream report;
    ASSERT_TRUE(sim::Inspect(dir, report, &error)) << error;
    for (const char* want : {"Norvalyn / Flash Disk / 8.07 (configured)", "serial number: RP7Q2K9X",
                             "capacity: 1892352 sectors\n"})
        EXPECT_NE(report.str().find(want), std::string::npos)
            << want << "\n" << report.str();
    EXPECT_EQ(report.str().find("damaged"), std::string::npos) << report.str();
    std::string image = sim::ravix::DriveDir(dir, "1-1") + "/lun0.img";
    EXPECT_EQ(fs::file_size(image), std::uintmax_t{total} * 512);
    EXPECT_EQ(std::system(("fsck.fat -n " + image + " >/dev/null 2>&1").c_str()), 0);
}

}  // namespace
}  // namespace nv::simtest
