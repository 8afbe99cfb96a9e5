#include "platform/registry.h"
#include "platform/sysfs.h"
#include "sim/world.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace nv::platform;
using nv::sim::UsbDeviceSpec;

namespace {

UsbDeviceSpec drive(std::uint16_t vid, std::uint16_t pid, std::string serial, int luns = 1) {
    UsbDeviceSpec d;
    d.vid = vid;
    d.pid = pid;
    d.serial = std::move(serial);
    for (int i = 0; i < luns; ++i) d.luns.push_back({"Generic", "Flash Disk", "7.76", 1000u * (i + 1)});
    return d;
}

UsbDeviceSpec mouse() {
    UsbDeviceSpec d;
    d.vid = 0x046D;
    d.pid = 0xC00E;
    d.interfaceClass = 0x03;
    return d;
}

std::string value(const reg::Registry& r, reg::Hive hive, const std::string& key, const char* name) {
    const reg::Key* k = r.Root(hive).Find(key);
    if (!k || !k->Get(name)) return "<missing>";
    const auto& data = k->Get(name)->data;
    if (k->Get(name)->type == reg::REG_DWORD) return std::to_string(data[0] | (data[1] << 8));
    return reinterpret_cast<const char*>(data.data());
}

}  // namespace

TEST(Sysfs, ReadsDevicesInterfacesAndUnits) {
    nv::test::TempDir dir;
    nv::sim::WorldWriter w(dir.path());
    ASSERT_TRUE(w.Create("test", nullptr));
    w.AddUsbDevice(mouse());
    auto placed = w.AddUsbDevice(drive(0x058F, 0x6387, "ABC", 2));

    auto devices = sysfs::ListUsbDevices(dir / "sys");
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_TRUE(devices[0].rootHub);
    EXPECT_EQ(devices[1].name, "1-1");
    EXPECT_FALSE(devices[1].IsMassStorage());
    const auto& d = devices[2];
    EXPECT_EQ(d.vid, 0x058F);
    EXPECT_EQ(d.pid, 0x6387);
    EXPECT_EQ(d.serial, "ABC");
    ASSERT_TRUE(d.IsMassStorage());
    const auto& units = d.interfaces.at(0).units;
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1].lun, 1);
    EXPECT_EQ(units[0].block, placed.units[0].block);
    EXPECT_EQ(units[1].generic, placed.units[1].generic);
    EXPECT_EQ(units[1].sectors, 2000u);
    EXPECT_EQ(units[0].vendor, "Generic");
    EXPECT_EQ(units[0].model, "Flash Disk");
}

TEST(Sysfs, AMissingTreeIsNoDevices) { EXPECT_TRUE(sysfs::ListUsbDevices("/nonexistent/sys").empty()); }

TEST(LiveView, SynthesizesBothRegistryFamilies) {
    nv::test::TempDir dir;
    nv::sim::WorldWriter w(dir.path());
    ASSERT_TRUE(w.Create("test", nullptr));
    w.AddUsbDevice(mouse());
    w.AddUsbDevice(drive(0x0C76, 0x1234, "SER1"));
    w.AddUsbDevice(drive(0x058F, 0x6387, ""));  // no serial number

    reg::Registry r;
    reg::AddLiveView(dir / "sys", r);
    const std::string usbstor = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum";
    EXPECT_EQ(value(r, reg::Hive::LocalMachine, usbstor, "Count"), "2");
    EXPECT_EQ(value(r, reg::Hive::LocalMachine, usbstor, "0"), "USB\\Vid_0c76&Pid_1234\\SER1");
    EXPECT_EQ(value(r, reg::Hive::LocalMachine, usbstor, "1"), "USB\\Vid_058f&Pid_6387\\5&1&0&1&3");
    EXPECT_EQ(value(r, reg::Hive::LocalMachine, usbstor, "2"), "<missing>");

    const reg::Key* enumkey = r.Root(reg::Hive::DynData).Find("Config Manager\\Enum");
    ASSERT_NE(enumkey, nullptr);
    std::vector<std::string> keys;
    for (const auto& k : enumkey->SubKeys())
        keys.push_back(reinterpret_cast<const char*>(k->Get("HardWareKey")->data.data()));
    EXPECT_EQ(keys, (std::vector<std::string>{"HTREE\\ROOT\\0", "USB\\ROOT_HUB\\1", "USB\\VID_046D&PID_C00E\\5&1&0&1&1",
                                              "USB\\VID_0C76&PID_1234\\SER1", "USB\\VID_058F&PID_6387\\5&1&0&1&3"}));
}

TEST(LiveView, EmptyWorldHasKeysButNoDevices) {
    nv::test::TempDir dir;
    nv::sim::WorldWriter w(dir.path());
    ASSERT_TRUE(w.Create("none", nullptr));
    reg::Registry r;
    reg::AddLiveView(dir / "sys", r);
    EXPECT_EQ(value(r, reg::Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum", "Count"), "0");
}

TEST(World, RefusesToReplaceAFolderThatIsNotAWorld) {
    nv::test::TempDir dir;
    dir.Write("precious.txt", "keep me");
    nv::sim::WorldWriter w(dir.path());
    std::string error;
    EXPECT_FALSE(w.Create("ravix", &error));
    EXPECT_NE(error.find("refusing"), std::string::npos);
    EXPECT_EQ(nv::test::ReadFile(dir / "precious.txt"), "keep me");

    nv::sim::WorldWriter again(dir / "world");
    ASSERT_TRUE(again.Create("a", nullptr));
    again.AddUsbDevice(drive(0x058F, 0x6387, "X"));
    nv::sim::WorldWriter replace(dir / "world");
    ASSERT_TRUE(replace.Create("b", nullptr));  // an existing world may be replaced
    EXPECT_EQ(sysfs::ListUsbDevices(dir / "world/sys").size(), 1u);
}
