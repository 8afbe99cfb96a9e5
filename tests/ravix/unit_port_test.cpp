// The shared port over sysfs: handles, ASPI addresses and the check that a
// write still goes to the unit that was opened. A fake executor stands for
// the device.
#include "platform/scsi_units.h"
#include "ravix/recovery_dialog.h"
#include "shared/byte_order.h"
#include "sim/world.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace nv::platform {
namespace {

class FakeExecutor final : public UnitExecutor {
public:
    struct Call {
        std::string generic;
        int lun;
        std::vector<std::uint8_t> cdb;
        DataDirection direction;
        std::size_t length;
        std::uint32_t timeoutMs;
    };
    std::vector<Call>* calls;
    ScsiResult answer;
    explicit FakeExecutor(std::vector<Call>* c) : calls(c) {
        answer.delivered = true;
        answer.status = 0;
    }
    bool Open(OpenedUnit& u) override { return fs::exists(u.devNode); }
    void Close(OpenedUnit&) override {}
    ScsiResult Execute(OpenedUnit& u, ScsiCommand& c) override {
        calls->push_back({u.generic, u.lun, {c.cdb.begin(), c.cdb.begin() + c.cdbLength}, c.direction, c.data.size(),
                          c.timeoutMs});
        return answer;
    }
};

class UnitPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = (fs::temp_directory_path() / ("nv-unitport-" + std::to_string(::getpid()))).string();
        fs::remove_all(dir);
        sim::WorldWriter w(dir);
        ASSERT_TRUE(w.Create("test", nullptr));
        sim::UsbDeviceSpec d;
        d.vid = 0x058F;
        d.pid = 0x6387;
        d.serial = "SERIAL01";
        d.luns = {{"Norvalyn", "Flash Disk", "8.07", 1000}, {"Norvalyn", "Flash Disk", "8.07", 2000}};
        placed = w.AddUsbDevice(d);
        auto exec = std::make_unique<FakeExecutor>(&calls);
        fake = exec.get();
        port = std::make_unique<UnitPort>(std::move(exec), dir + "/sys", dir + "/dev");
    }
    void TearDown() override { fs::remove_all(dir); }

    bool write_through(std::uint32_t handle) {
        std::vector<std::uint8_t> data(512);
        ravix::Cdb cdb{0x2A};
        auto block = ravix::BuildPassThroughBlock(cdb, 10, false, 512, 10, data.data());
        return port->PassThroughDirect(handle, block, data);
    }

    std::string dir;
    sim::DevicePlacement placed;
    std::vector<FakeExecutor::Call> calls;
    FakeExecutor* fake = nullptr;
    std::unique_ptr<UnitPort> port;
};

TEST_F(UnitPortTest, OpensUnitsBySysfsPathAndExecutesOnThem) {
    std::uint32_t h0 = port->OpenUnit(placed.units[0].sysfsPath);
    std::uint32_t h1 = port->OpenUnit(placed.units[1].sysfsPath);
    ASSERT_NE(h0, kInvalidHandle);
    ASSERT_NE(h1, kInvalidHandle);
    EXPECT_NE(h0, h1);
    EXPECT_EQ(port->OpenUnit(dir + "/sys/nothing"), kInvalidHandle);
    ASSERT_TRUE(write_through(h1));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].generic, placed.units[1].generic);
    EXPECT_EQ(calls[0].lun, 1);
    EXPECT_EQ(calls[0].direction, DataDirection::Out);
    EXPECT_EQ(calls[0].timeoutMs, 10000u);
    port->CloseHandle(h1);
    EXPECT_FALSE(write_through(h1));
}

TEST_F(UnitPortTest, DisksLeadToTheirUnits) {
    auto path = UnitPathOfDisk(dir + "/sys", placed.units[1].block);
    ASSERT_TRUE(path);
    EXPECT_EQ(fs::canonical(*path), fs::canonical(placed.units[1].sysfsPath));
    EXPECT_FALSE(UnitPathOfDisk(dir + "/sys", "sda"));  // not a USB unit
    EXPECT_FALSE(UnitPathOfDisk(dir + "/sys", ""));
}

TEST_F(UnitPortTest, StatusAndSenseComeBackInTheBlock) {
    std::uint32_t h = port->OpenUnit(placed.units[0].sysfsPath);
    fake->answer.status = kStatusCheckCondition;
    fake->answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 1, 2, 3, 4, 0x24};
    fake->answer.senseLength = 18;
    std::vector<std::uint8_t> data(512);
    auto block = ravix::BuildPassThroughBlock(ravix::Cdb{0x28}, 10, true, 512, 150, data.data());
    ASSERT_TRUE(port->PassThroughDirect(h, block, data));
    EXPECT_EQ(block[ravix::ptd::kScsiStatus], kStatusCheckCondition);
    EXPECT_EQ(block[48], 0x70);
    EXPECT_EQ(block[50], 0x05);
    // Only SenseInfoLength (8) bytes are copied.
    EXPECT_EQ(block[56], 0);
    fake->answer.delivered = false;
    EXPECT_FALSE(port->PassThroughDirect(h, block, data));
}

// Linux hands a freed sg name to the next device: a write must not follow
// the name to a different drive.
TEST_F(UnitPortTest, WritesAreRefusedOnceTheNodeBelongsElsewhere) {
    struct Case {
        const char* name;
        std::function<void(const std::string& unit, const std::string& usb)> change;
    };
    const Case cases[] = {
        {"serial changed", [](auto&, auto& usb) { sim::WriteAttribute(usb + "/serial", "OTHER"); }},
        {"sg node moved",
         [this](auto& unit, auto&) {
             fs::rename(unit + "/scsi_generic/" + placed.units[0].generic, unit + "/scsi_generic/sg9");
         }},
        {"unit gone", [](auto& unit, auto&) { fs::remove_all(unit); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        std::uint32_t h = port->OpenUnit(placed.units[0].sysfsPath);
        ASSERT_TRUE(write_through(h));
        c.change(placed.units[0].sysfsPath, placed.sysfsPath);
        calls.clear();
        EXPECT_FALSE(write_through(h));
        EXPECT_TRUE(calls.empty());
        // Reads are harmless and still go out.
        std::vector<std::uint8_t> data(512);
        auto block = ravix::BuildPassThroughBlock(ravix::Cdb{0x28}, 10, true, 512, 150, data.data());
        EXPECT_TRUE(port->PassThroughDirect(h, block, data));
    }
}

TEST_F(UnitPortTest, AspiAddressesAreTheSysfsHostTargetAndLun) {
    ASSERT_TRUE(port->LoadAspi());
    std::uint32_t info = port->GetAspiSupportInfo();
    EXPECT_EQ((info >> 8) & 0xFF, kSsComp);
    int host = std::stoi(placed.units[0].address);
    EXPECT_EQ(info & 0xFF, static_cast<std::uint32_t>(host + 1));

    std::vector<std::uint8_t> data(512);
    auto srb = ravix::BuildExecSrb(static_cast<std::uint8_t>(host), 0, 1, true, 512, data.data(), ravix::Cdb{0x28}, 0);
    auto event = port->CreateCompletionEvent();
    EXPECT_EQ(port->SendAspiCommand(srb, data, event.get()), kSsPending);
    EXPECT_TRUE(event->IsSet());
    EXPECT_EQ(srb[ravix::srb::kStatus], kSsComp);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].generic, placed.units[1].generic);
    EXPECT_EQ(calls[0].timeoutMs, kAspiDeviceTimeoutMs);

    auto nowhere = ravix::BuildExecSrb(static_cast<std::uint8_t>(host), 5, 0, true, 512, data.data(), ravix::Cdb{}, 0);
    port->SendAspiCommand(nowhere, data, event.get());
    EXPECT_EQ(nowhere[ravix::srb::kStatus], kSsNoDevice);

    std::array<std::uint8_t, 60> ha{};
    ha[srb::kCmd] = srb::kScHaInquiry;
    port->SendAspiCommand(ha, {}, nullptr);
    EXPECT_EQ(ha[srb::kStatus], kSsComp);
    EXPECT_EQ(ha[45], 8);
    std::array<std::uint8_t, 12> type{};
    type[srb::kCmd] = srb::kScGetDevType;
    type[srb::kHaId] = static_cast<std::uint8_t>(host);
    port->SendAspiCommand(type, {}, nullptr);
    EXPECT_EQ(type[srb::kStatus], kSsComp);
}

TEST_F(UnitPortTest, AspiWriteRefusedWhenTheAddressNowNamesAnotherDrive) {
    port->LoadAspi();
    int host = std::stoi(placed.units[0].address);
    std::vector<std::uint8_t> data(512);
    auto event = port->CreateCompletionEvent();
    auto read = ravix::BuildExecSrb(static_cast<std::uint8_t>(host), 0, 0, true, 512, data.data(), ravix::Cdb{0x28}, 0);
    port->SendAspiCommand(read, data, event.get());
    EXPECT_EQ(read[srb::kStatus], kSsComp);
    sim::WriteAttribute(placed.sysfsPath + "/serial", "ANOTHER");
    auto write = ravix::BuildExecSrb(static_cast<std::uint8_t>(host), 0, 0, false, 512, data.data(), ravix::Cdb{0x2A}, 0);
    port->SendAspiCommand(write, data, event.get());
    EXPECT_NE(write[srb::kStatus], kSsComp);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(UnitPortTest, AspiRefusedBeforeItIsLoaded) {
    std::vector<std::uint8_t> data(512);
    auto srb = ravix::BuildExecSrb(0, 0, 0, true, 512, data.data(), ravix::Cdb{0x28}, 0);
    EXPECT_NE(port->SendAspiCommand(srb, data, nullptr), kSsPending);
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace nv::platform
