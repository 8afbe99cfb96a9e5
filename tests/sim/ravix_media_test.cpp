// A FAT volume written sector by sector through the transport lands in the
// simulated medium exactly: fsck.fat accepts the image the drive keeps.
#include "ravix/recovery_dialog.h"
#include "sim/ravix_world.h"
#include "sim/scsi_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace nv::simtest {
namespace {

TEST(RavixSimMedia, VolumeCopiedThroughTheTransportPassesFsck) {
    for (std::uint32_t osCode : {32u, 37u}) {
        SCOPED_TRACE(osCode);
        std::string dir = (fs::temp_directory_path() / ("nv-ravix-media-" + std::to_string(::getpid()))).string();
        fs::remove_all(dir);
        sim::WorldWriter w(dir);
        ASSERT_TRUE(w.Create("test", nullptr));
        auto state = sim::HealthyRavix("MEDIA001");
        state.capacityOverride = 65536;  // a small drive keeps the copy quick
        sim::AddRavixDrive(w, state);
        ::setenv("NORVALYN_SIM", dir.c_str(), 1);

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
        ::unsetenv("NORVALYN_SIM");
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace nv::simtest
