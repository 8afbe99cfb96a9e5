// The transport run against the simulated controller through the same port
// the programs use, on both back ends.
#include "platform/env.h"
#include "ravix/recovery_dialog.h"
#include "shared/byte_order.h"
#include "sim/presets.h"
#include "sim/ravix_world.h"
#include "sim/scsi_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace nv::simtest {
namespace {

namespace model = nv::sim::ravix;
using sim::CreatePreset;
using sim::MakeScsiPort;
using sim::SetFaults;
using sim::Replug;
using sim::Inspect;
using sim::RavixDrives;
using sim::Presets;

using Block = std::array<std::uint8_t, 512>;

struct BackEnd {
    const char* name;
    bool aspi;
    std::uint32_t osCode;
};

class World {
public:
    explicit World(const std::string& preset) {
        dir = (fs::temp_directory_path() / ("nv-ravix-sim-" + std::to_string(::getpid()))).string();
        fs::remove_all(dir);
        std::string error;
        EXPECT_TRUE(CreatePreset(dir, preset, &error)) << error;
        ::setenv("NORVALYN_SIM", dir.c_str(), 1);
    }
    ~World() {
        ::unsetenv("NORVALYN_SIM");
        fs::remove_all(dir);
    }
    model::ControllerState State() const { return *model::LoadState(model::DriveDir(dir, "1-1")); }
    std::string dir;
};

// One program run: its own port and device context, units opened.
struct Session {
    Session(const BackEnd& b) : port(MakeScsiPort()), dialog(*port, clock, random) {
        dialog.UseAspi = b.aspi;
        dialog.OsCode = b.osCode;
        if (b.aspi) {
            EXPECT_TRUE(port->LoadAspi());
            dialog.CurrentRef = dialog.UnitSlots[0] = dialog.UnitSlots[1] = ravix::kNoAspiUnit;
        }
        dialog.OpenDevice();
    }
    ~Session() { dialog.CloseDevices(); }
    ravix::DeviceRef unit(int i = 0) const { return dialog.UnitSlots[i]; }

    std::unique_ptr<platform::ScsiPort> port;
    platform::VirtualClock clock;
    platform::CrtRandom random;
    ravix::RecoveryDialog dialog;
};

class RavixSim : public ::testing::TestWithParam<BackEnd> {};

std::string inquiry_text(Session& s, int unit = 0) {
    std::array<std::uint8_t, 36> q{};
    EXPECT_TRUE(s.dialog.Inquiry(s.unit(unit), q));
    return std::string(q.begin() + 8, q.end());
}

std::uint32_t capacity(Session& s, int unit = 0) {
    Block b{};
    EXPECT_TRUE(s.dialog.ReadCapacity(s.unit(unit), b));
    return bytes::be32(b.data()) + 1;
}

TEST_P(RavixSim, HealthyDriveAnswersIdentityCapacityAndMedia) {
    World w("ravix-healthy");
    Session s(GetParam());
    ASSERT_EQ(s.dialog.UnitCount, 1u);
    EXPECT_EQ(s.dialog.CurrentRef, s.unit());
    EXPECT_TRUE(s.dialog.TestUnitReady(s.unit()));
    EXPECT_EQ(inquiry_text(s), "NorvalynFlash Disk      8.07");

    Block info{};
    ASSERT_TRUE(s.dialog.GetDeviceInfo(s.unit(), info));
    auto d = ravix::DecodeDeviceInfo(info);
    EXPECT_EQ(d.controllerCode, 0xAE);
    EXPECT_EQ(d.totalSectors, model::TotalSectors(w.State()));
    EXPECT_EQ(d.firstAreaSectors, 0u);
    EXPECT_EQ(capacity(s), d.totalSectors);

    std::vector<std::uint8_t> data(8 * 512);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13 + 1);
    ASSERT_TRUE(s.dialog.WriteSectors(s.unit(), 8, 1000, data));
    std::vector<std::uint8_t> back(8 * 512);
    ASSERT_TRUE(s.dialog.ReadSectors(s.unit(), 8, 1000, back));
    EXPECT_EQ(back, data);
    // The medium is the image file, sector for sector.
    std::ifstream img(model::DriveDir(w.dir, "1-1") + "/lun0.img", std::ios::binary);
    img.seekg(1000 * 512);
    std::vector<char> raw(512);
    img.read(raw.data(), 512);
    EXPECT_EQ(0, std::memcmp(raw.data(), data.data(), 512));
    // Past the end of the medium: a plain failure.
    EXPECT_FALSE(s.dialog.ReadSectors(s.unit(), 1, d.totalSectors, back));
    EXPECT_FALSE(s.dialog.WriteSectors(s.unit(), 2, d.totalSectors - 1, data));
}

TEST_P(RavixSim, FlashLayoutAndZoneScansFollowTheModel) {
    World w("ravix-worn");
    Session s(GetParam());
    Block r{};
    ASSERT_TRUE(s.dialog.GetFlashLayout(s.unit(), r));
    auto layout = ravix::DecodeFlashLayout(r);
    auto st = w.State();
    ASSERT_EQ(layout.chipCount, st.chips.size());
    EXPECT_EQ(layout.zoneGroups, st.zoneGroups);
    EXPECT_EQ(layout.blockCount, st.blocksPerGroup);
    EXPECT_EQ(r[128], 25);  // spare entries in force

    std::uint32_t bad = 0;
    for (std::uint8_t c = 0; c < layout.chipCount; ++c)
        for (std::uint8_t z = 0; z < layout.ZonesPerChip(); ++z) {
            ASSERT_TRUE(s.dialog.ScanZone(s.unit(), c, z, r));
            auto scan = ravix::DecodeZoneScan(r);
            bad += scan.wholeZoneBad ? 256 : static_cast<std::uint32_t>(scan.badBlocks.size());
        }
    EXPECT_EQ(bad, model::BadBlockCount(st.chips[0], 32) + model::BadBlockCount(st.chips[1], 32));
    ASSERT_TRUE(s.dialog.ScanZone(s.unit(), 0, 3, r));
    EXPECT_EQ(ravix::DecodeZoneScan(r).badBlocks, (std::vector<std::uint8_t>{5, 77, 170}));
    // A chip or zone that is not there fails.
    EXPECT_FALSE(s.dialog.ScanZone(s.unit(), 2, 0, r));
    EXPECT_FALSE(s.dialog.ScanZone(s.unit(), 0, 32, r));
    EXPECT_FALSE(s.dialog.Vendor98(s.unit(), 2, 0, 0, 0));

    // Erases and marks are counted and kept once the units close.
    EXPECT_TRUE(s.dialog.Vendor98(s.unit(), 0, 0, 0, 0x00));
    EXPECT_TRUE(s.dialog.Vendor98(s.unit(), 0, 1, 0, 0x00));
    EXPECT_TRUE(s.dialog.Vendor98(s.unit(), 0, 3, 5, 0x15));
    s.dialog.CloseDevices();
    EXPECT_EQ(w.State().erasedBlocks, 2u);
    EXPECT_EQ(w.State().markedBlocks, 1u);
}

TEST_P(RavixSim, DividedDriveHasTwoUnitsWithTheirAreas) {
    World w("ravix-divided");
    Session s(GetParam());
    ASSERT_EQ(s.dialog.UnitCount, 2u);
    auto st = w.State();
    EXPECT_EQ(capacity(s, 0), model::AreaSectors(st, 0));
    EXPECT_EQ(capacity(s, 1), 524288u);
    Block info{};
    ASSERT_TRUE(s.dialog.GetDeviceInfo(s.unit(), info));
    EXPECT_EQ(ravix::DecodeDeviceInfo(info).firstAreaSectors, model::AreaSectors(st, 0));
    EXPECT_EQ(ravix::DecodeDeviceInfo(info).formatSectors, 524288u);
    // The two areas are separate media.
    std::vector<std::uint8_t> a(512, 0xA1), b(512, 0xB2), back(512);
    ASSERT_TRUE(s.dialog.WriteSectors(s.unit(0), 1, 0, a));
    ASSERT_TRUE(s.dialog.WriteSectors(s.unit(1), 1, 0, b));
    ASSERT_TRUE(s.dialog.ReadSectors(s.unit(0), 1, 0, back));
    EXPECT_EQ(back, a);
}

TEST_P(RavixSim, ModeChangeSequenceBringsTheControllerToReady) {
    World w("ravix-notready");
    Session s(GetParam());
    // Not ready for the first three tests.
    int failures = 0;
    while (!s.dialog.TestUnitReady(s.unit()) && failures < 10) ++failures;
    EXPECT_EQ(failures, 3);
    Block st{}, page{};
    ASSERT_TRUE(s.dialog.GetDeviceStatus(s.unit(), st));
    EXPECT_EQ(ravix::DecodeDeviceStatus(st).state, 0xB0);
    EXPECT_FALSE(s.dialog.ReadSectors(s.unit(), 1, 0, page));  // medium not ready yet

    int rounds = 0;
    do {
        ASSERT_TRUE(s.dialog.ReadConfigPage(s.unit(), 2, page));
        ASSERT_TRUE(s.dialog.Vendor74(s.unit(), page));
        ASSERT_TRUE(s.dialog.GetDeviceStatus(s.unit(), st));
        ASSERT_TRUE(s.dialog.Vendor73(s.unit()));
        ASSERT_TRUE(s.dialog.GetDeviceStatus(s.unit(), st));
    } while (ravix::DecodeDeviceStatus(st).state != 0xC0 && ++rounds < 5);
    EXPECT_EQ(ravix::DecodeDeviceStatus(st).state, 0xC0);
    EXPECT_TRUE(s.dialog.ReadSectors(s.unit(), 1, 0, page));
}

TEST_P(RavixSim, Mode40hIsClearedBy9BThen96) {
    World w("ravix-mode40");
    Session s(GetParam());
    Block st{};
    ASSERT_TRUE(s.dialog.GetDeviceStatus(s.unit(), st));
    EXPECT_EQ(ravix::DecodeDeviceStatus(st).mode, 0x40);
    ASSERT_TRUE(s.dialog.Vendor9B(s.unit()));
    ASSERT_TRUE(s.dialog.GetDeviceStatus(s.unit(), st));
    EXPECT_EQ(ravix::DecodeDeviceStatus(st).mode, 0x40);  // takes effect with 96h
    ASSERT_TRUE(s.dialog.Vendor96(s.unit()));
    ASSERT_TRUE(s.dialog.GetDeviceStatus(s.unit(), st));
    EXPECT_EQ(ravix::DecodeDeviceStatus(st).mode, 0x20);
}

// The parts of a recovery that change the drive: spare table, capacity
// commit, new configuration block; the drive then reports its new identity
// and capacity, in this process, in the next one and after a replug.
TEST_P(RavixSim, DamagedDriveTakesNewSparesCapacityAndIdentity) {
    World w("ravix-damaged");
    {
        Session s(GetParam());
        EXPECT_EQ(inquiry_text(s), "Generic Flash Disk      7.76");
        EXPECT_EQ(capacity(s), 32768u);
        Block layout{};
        ASSERT_TRUE(s.dialog.GetFlashLayout(s.unit(), layout));
        EXPECT_EQ(layout[128], 0);  // no spare values: the program takes the full repair

        Block table{};
        table[1] = 0x51, table[3] = 0x51, table[126] = 0x51, table[127] = 0x15;
        for (int c = 0; c < 2; ++c)
            for (int g = 0; g < 8; ++g) table[128 + 16 * c + g] = 26;
        ASSERT_TRUE(s.dialog.VendorF5(s.unit(), table));
        Block fixed{};
        fixed[20] = 0x01;
        ASSERT_TRUE(s.dialog.Vendor99(s.unit(), fixed));
        EXPECT_EQ(capacity(s), 32768u);  // not before the commit
        ASSERT_TRUE(s.dialog.Vendor96(s.unit()));
        EXPECT_EQ(capacity(s), 2u * 8u * (1024u - 104u) * 128u);
        ASSERT_TRUE(s.dialog.GetFlashLayout(s.unit(), layout));
        EXPECT_EQ(layout[128], 26);

        Block config{};
        ASSERT_TRUE(s.dialog.ReadConfigBlock(s.unit(), config));
        auto fresh = model::MakeConfigBlock(w.State(), "ZX81QL7P");
        std::copy_n(config.begin(), 126, fresh.begin());  // the program keeps bytes 0..125
        ASSERT_TRUE(s.dialog.WriteConfigBlock(s.unit(), fresh));
        Block page1{};
        ASSERT_TRUE(s.dialog.ReadConfigPage(s.unit(), 1, page1));
        EXPECT_TRUE(std::equal(config.begin(), config.begin() + 126, page1.begin()));
        EXPECT_EQ(inquiry_text(s), "NorvalynFlash Disk      8.07");
    }
    // The next process sees the same drive.
    Session again(GetParam());
    EXPECT_EQ(capacity(again), 2u * 8u * (1024u - 104u) * 128u);
    EXPECT_EQ(model::UsbSerial(w.State()), "ZX81QL7P");
    std::string error;
    ASSERT_TRUE(Replug(w.dir, &error));
    std::ifstream serial(w.dir + "/sys/bus/usb/devices/1-1/serial");
    std::string text;
    serial >> text;
    EXPECT_EQ(text, "ZX81QL7P");
}

TEST_P(RavixSim, ModuleFlashAnswersTheModuleCheckCommands) {
    World w("ravix-module");
    Session s(GetParam());
    Block info{}, id{};
    ASSERT_TRUE(s.dialog.GetDeviceInfo(s.unit(), info));
    EXPECT_EQ(ravix::DecodeDeviceInfo(info).moduleSkip44, 0);
    for (std::uint8_t chip : {3, 2, 1, 0}) ASSERT_TRUE(s.dialog.FlashReadId(s.unit(), chip, id)) << int(chip);
    EXPECT_EQ((std::vector<std::uint8_t>{id[0], id[1], id[2], id[3]}), (std::vector<std::uint8_t>{0xEC, 0xD3, 0x55, 0x25}));
    EXPECT_EQ(id[128], id[0]);
    EXPECT_EQ(id[129], id[1]);
    EXPECT_TRUE(s.dialog.VendorCommandIn(s.unit(), 0xD0, 0x00, 0xF7, 0x01, 0, 0, 0, {}));

    ravix::Cdb probe{0xD0, 0x00, 0xE1}, writeHeader{0xD0, 0x00, 0xE3}, readHeader{0xD0, 0x00, 0xE4};
    ravix::Cdb writeData{0xD0, 0x00, 0xE5, 0x00, 0x02}, readData{0xD0, 0x00, 0xE7, 0x00, 0x02};
    ASSERT_TRUE(s.dialog.FlashSequenceIn(s.unit(), probe, 1, id));
    EXPECT_EQ(id[0], 0xFF);
    std::vector<std::uint8_t> header(1024, 0x3C), data(1024, 0x77), back(1024);
    ASSERT_TRUE(s.dialog.FlashSequenceOut(s.unit(), writeHeader, 2, header));
    ASSERT_TRUE(s.dialog.FlashSequenceIn(s.unit(), readHeader, 2, back));
    EXPECT_EQ(back, header);
    ASSERT_TRUE(s.dialog.FlashSequenceOut(s.unit(), writeData, 2, data));
    ASSERT_TRUE(s.dialog.FlashSequenceIn(s.unit(), readData, 2, back));
    EXPECT_EQ(back, data);
    ASSERT_TRUE(s.dialog.FlashSequenceIn(s.unit(), probe, 1, id));
    EXPECT_EQ(id[0], 0xF7);
    EXPECT_EQ(id[1] & 3, 3);
    EXPECT_TRUE(s.dialog.VendorD2(s.unit()));
    EXPECT_TRUE(s.dialog.VendorD3(s.unit()));
    ASSERT_TRUE(s.dialog.GetDeviceInfo(s.unit(), info));
    EXPECT_EQ(ravix::DecodeDeviceInfo(info).moduleSkip44, 1);
    // An unknown flash sequence is refused.
    EXPECT_FALSE(s.dialog.FlashSequenceIn(s.unit(), ravix::Cdb{0xD0, 0, 0x12}, 1, id));
}

TEST_P(RavixSim, FaultsOnDemand) {
    struct Case {
        const char* name;
        model::Faults faults;
        int goodCommands;  // commands that still work before every later one fails; -1 = all
        bool infoFails, readFails;
    };
    model::Faults opcode, check, after, pulled;
    opcode.failOpcode = 0x9A;
    check.checkOpcode = 0x28;
    after.failAfter = 2;
    pulled.pulled = true;
    const Case cases[] = {
        {"opcode fails", opcode, -1, true, false},
        {"check condition", check, -1, false, true},
        {"fails after two commands", after, 2, true, true},
        {"pulled", pulled, 0, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        World w("ravix-healthy");
        std::string error;
        ASSERT_TRUE(SetFaults(w.dir, "", c.faults, &error)) << error;
        Session s(GetParam());
        Block b{};
        if (c.goodCommands >= 0) {
            for (int i = 0; i < c.goodCommands; ++i) EXPECT_TRUE(s.dialog.TestUnitReady(s.unit()));
            EXPECT_FALSE(s.dialog.TestUnitReady(s.unit()));
        } else {
            EXPECT_TRUE(s.dialog.TestUnitReady(s.unit()));
        }
        EXPECT_EQ(s.dialog.GetDeviceInfo(s.unit(), b), !c.infoFails);
        EXPECT_EQ(s.dialog.ReadSectors(s.unit(), 1, 0, b), !c.readFails);
    }
}

INSTANTIATE_TEST_SUITE_P(BackEnds, RavixSim,
                         ::testing::Values(BackEnd{"PassThrough", false, 32}, BackEnd{"PassThrough37", false, 37},
                                           BackEnd{"Aspi", true, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RavixSimInspect, ReportsIdentitySerialCapacitiesBadBlocksAndState) {
    World w("ravix-notready");
    std::ostringstream out;
    std::string error;
    ASSERT_TRUE(Inspect(w.dir, out, &error)) << error;
    std::string text = out.str();
    for (const char* want : {"Norvalyn / Flash Disk / 8.07", "serial number: NV3K8Q2M", "capacity: 1892352 sectors",
                             "chip 0: id AD D3 14 A5, 32 zones, 3 bad blocks", "bad blocks: 4",
                             "state: not ready (B0h), mode 20h, not ready for 3 more tests"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
}

TEST(RavixSimPresets, EveryPresetMakesAWorldTheSysfsCodeFinds) {
    for (const auto& p : Presets()) {
        SCOPED_TRACE(p.name);
        World w(p.name);
        auto drives = RavixDrives(w.dir);
        bool ravix = p.name.rfind("ravix", 0) == 0 || p.name == "two-drives";
        EXPECT_EQ(drives.empty(), !ravix);
        if (!ravix) continue;
        Session s(BackEnd{"", false, 32});
        EXPECT_GE(s.dialog.UnitCount, 1u);
        Block info{};
        EXPECT_TRUE(s.dialog.GetDeviceInfo(s.unit(), info));
    }
}

}  // namespace
}  // namespace nv::simtest
