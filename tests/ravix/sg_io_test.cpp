// The SG_IO mapping below the ioctl: the header built from a request block,
// and the outcome of the call mapped back.
#include "platform/linux/sg_io.h"
#include "platform/scsi_units.h"
#include "ravix/transport.h"
#include "sim/world.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace nv::platform::linux_sg {
namespace {

struct HeaderCase {
    const char* name;
    std::uint8_t cdbLength;
    bool dataIn;
    std::uint32_t transfer;
    std::uint32_t timeoutSeconds;
    int direction;
    unsigned dxferLen;
    unsigned timeoutMs;
};

TEST(SgIoHeader, BuiltFromThePassThroughBlock) {
    const HeaderCase cases[] = {
        {"read", 10, true, 4096, 150, SG_DXFER_FROM_DEV, 4096, 150000},
        {"write", 10, false, 512, 10, SG_DXFER_TO_DEV, 512, 10000},
        {"sixteen-byte write", 16, false, 2048, 30, SG_DXFER_TO_DEV, 2048, 30000},
        {"no data (test unit ready)", 10, true, 0, 5, SG_DXFER_NONE, 0, 5000},
        {"100-byte vendor read", 10, true, 100, 150, SG_DXFER_FROM_DEV, 100, 150000},
        {"zero time-out still limited", 10, true, 512, 0, SG_DXFER_FROM_DEV, 512, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> data(8192);
        ravix::Cdb cdb{0x28, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        auto block = ravix::BuildPassThroughBlock(cdb, c.cdbLength, c.dataIn, c.transfer, c.timeoutSeconds, data.data());
        auto command = CommandFromPassThroughBlock(block, data);
        ASSERT_TRUE(command);
        std::array<std::uint8_t, 32> sense{};
        sg_io_hdr h = FillSgIoHdr(*command, sense);
        EXPECT_EQ(h.interface_id, 'S');
        EXPECT_EQ(h.dxfer_direction, c.direction);
        EXPECT_EQ(h.dxfer_len, c.dxferLen);
        EXPECT_EQ(h.dxferp, c.dxferLen ? data.data() : nullptr);
        EXPECT_EQ(h.cmd_len, c.cdbLength);
        EXPECT_EQ(0, std::memcmp(h.cmdp, cdb.data(), c.cdbLength));
        EXPECT_EQ(h.timeout, c.timeoutMs);
        EXPECT_EQ(h.sbp, sense.data());
        EXPECT_EQ(h.mx_sb_len, 32);
    }
}

TEST(SgIoHeader, ABlockAskingMoreThanTheBufferIsRejected) {
    std::vector<std::uint8_t> data(100);
    auto block = ravix::BuildPassThroughBlock(ravix::Cdb{}, 10, true, 512, 10, data.data());
    EXPECT_FALSE(CommandFromPassThroughBlock(block, data));
}

TEST(SgIoResult, MapsTheCallAndStatusesBack) {
    struct Case {
        const char* name;
        int rc;
        unsigned short host, driver;
        unsigned char status;
        bool delivered, good;
    };
    const Case cases[] = {
        {"good", 0, 0, 0, 0, true, true},
        {"ioctl failed (device gone)", -1, 0, 0, 0, false, false},
        {"no connect", 0, 0x01, 0, 0, false, false},
        {"host time-out", 0, 0x03, 0, 0, false, false},
        {"driver time-out", 0, 0, 0x06, 0, false, false},
        {"check condition with sense", 0, 0, 0x08, 0x02, true, false},
        {"busy", 0, 0, 0, 0x08, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sg_io_hdr h{};
        h.host_status = c.host;
        h.driver_status = c.driver;
        h.status = c.status;
        std::array<std::uint8_t, 32> sense{};
        sense[0] = 0x70;
        sense[2] = 0x05;
        h.sb_len_wr = c.status == 0x02 ? 18 : 0;
        ScsiResult r = ResultFromSgIo(c.rc, h, sense);
        EXPECT_EQ(r.delivered, c.delivered);
        EXPECT_EQ(r.Good(), c.good);
        if (c.delivered) {
            EXPECT_EQ(r.status, c.status);
        }
        if (c.status == 0x02) {
            EXPECT_EQ(r.senseLength, 18);
            EXPECT_EQ(r.sense[2], 0x05);
        }
    }
}

// What is not the unit's own sg device (the plain files of a simulated
// world's dev/) is refused at open, and so is a node that is gone.
TEST(SgExecutor, NodesThatAreNotTheUnitsDeviceDoNotOpen) {
    namespace fs = std::filesystem;
    std::string dir = (fs::temp_directory_path() / ("nv-sg-exec-" + std::to_string(::getpid()))).string();
    fs::remove_all(dir);
    sim::WorldWriter w(dir);
    ASSERT_TRUE(w.Create("test", nullptr));
    sim::UsbDeviceSpec d;
    d.vid = 0x058F;
    d.serial = "S1";
    d.luns = {{"Norvalyn", "Flash Disk", "8.07", 100}, {"Norvalyn", "Flash Disk", "8.07", 100}};
    auto placed = w.AddUsbDevice(d);
    UnitPort port(std::make_unique<SgExecutor>(), dir + "/sys", dir + "/dev");
    EXPECT_EQ(port.OpenUnit(placed.units[0].sysfsPath), kInvalidHandle);
    fs::remove(dir + "/dev/" + placed.units[1].generic);
    EXPECT_EQ(port.OpenUnit(placed.units[1].sysfsPath), kInvalidHandle);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace nv::platform::linux_sg
