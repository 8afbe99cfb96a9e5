// The probe library as the launcher binds it: the built NorvalynDLL.so,
// loaded by name and called through its two exports, on registries from .reg
// files and on sysfs trees through the live view.
#include "platform/library.h"
#include "shared/records.h"
#include "sim/world.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>

using nv::VIDPIDINFO;

namespace {

using CountFn = std::int32_t (*)(std::int32_t, VIDPIDINFO*);
using VidPidFn = bool (*)(std::int32_t, VIDPIDINFO*);

struct Probe {
    std::unique_ptr<nv::platform::Library> lib = nv::platform::Library::Load(std::string(NV_BIN_DIR) + "/NorvalynDLL.so");
    CountFn count = lib ? lib->Function<CountFn>("GetDeviceCount") : nullptr;
    VidPidFn vidpid = lib ? lib->Function<VidPidFn>("GetUSBStorVidPid") : nullptr;
};

Probe& probe() {
    static Probe p;
    return p;
}

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr const char* kNt = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum]\n";
constexpr const char* k9x = "[HKEY_DYN_DATA\\Config Manager\\Enum]\n";

std::string nt(std::initializer_list<std::string> lines) {
    std::string s = std::string(kHeader) + kNt;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

// One subkey per hardware key; "-" makes a subkey without one.
std::string ninex(std::initializer_list<std::string> hardware_keys) {
    std::string s = std::string(kHeader) + k9x;
    int i = 0;
    for (const auto& h : hardware_keys) {
        s += "[HKEY_DYN_DATA\\Config Manager\\Enum\\C" + std::to_string(1000 + i++) + "]\n";
        if (h != "-") s += "\"HardWareKey\"=\"" + h + "\"\n";
    }
    return s;
}

struct Expect {
    std::int32_t count;
    const char* valueName;      // after GetDeviceCount
    const char* vidAfterCount;  // the last value examined
    const char* pidAfterCount;
    std::optional<bool> vidpid;  // nullopt: not called (the launcher would not)
    const char* vid;
    const char* pid;
};

struct Case {
    const char* name;
    std::int32_t platform;
    std::string reg;  // empty: a registry file that cannot be read
    Expect expect;
};

// Calls the two exports as the launcher does and compares each step.
void check(std::int32_t platform, const Expect& e) {
    VIDPIDINFO records[12];
    EXPECT_EQ(probe().count(platform, &records[0]), e.count);
    EXPECT_EQ(records[0].ValueName, e.valueName);
    EXPECT_EQ(records[0].VID, e.vidAfterCount);
    EXPECT_EQ(records[0].PID, e.pidAfterCount);
    if (e.vidpid) {
        EXPECT_EQ(probe().vidpid(platform, &records[0]), *e.vidpid);
        EXPECT_EQ(records[0].VID, e.vid);
        EXPECT_EQ(records[0].PID, e.pid);
    }
    EXPECT_TRUE(records[1].VID.IsEmpty());  // only the first record is touched
}

}  // namespace

TEST(ProbeLibrary, ExportsBothEntryPoints) {
    ASSERT_NE(probe().lib, nullptr) << nv::platform::Library::LastLoadError();
    EXPECT_NE(probe().count, nullptr);
    EXPECT_NE(probe().vidpid, nullptr);
}

TEST(ProbeLibrary, RegistryFileCases) {
    ASSERT_NE(probe().count, nullptr);
    const std::string long_path = "USB\\\\Vid_058f&Pid_6387\\\\" + std::string(400, 'A');
    const Case cases[] = {
        {"NT single device counted without its identifiers", 2,
         nt({"\"Count\"=dword:00000001", "\"0\"=\"USB\\\\Vid_1234&Pid_5678\\\\X\""}),
         {1, "0", "", "", true, "1234", "5678"}},
        {"NT record keeps the last value examined", 2,
         nt({"\"Count\"=dword:00000002", "\"0\"=\"USB\\\\Vid_058F&Pid_6387\\\\A\"", "\"1\"=\"USB\\\\Vid_1234&Pid_5678\\\\B\""}),
         {1, "0", "1234", "5678", true, "058F", "6387"}},
        {"NT two accepted drives", 2,
         nt({"\"Count\"=dword:00000002", "\"0\"=\"USB\\\\Vid_058F&Pid_6387\\\\A\"", "\"1\"=\"USB\\\\Vid_1307&Pid_0163\\\\B\""}),
         {2, "1", "1307", "0163", std::nullopt, "", ""}},
        {"NT numbered value missing drops the count", 2,
         nt({"\"Count\"=dword:00000003", "\"0\"=\"USB\\\\Vid_058F&Pid_6387\\\\A\"", "\"1\"=\"USB\\\\Vid_1307&Pid_0163\\\\B\""}),
         {-1, "1", "1307", "0163", std::nullopt, "", ""}},
        {"NT no enumeration key", 2, std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SYSTEM]\n",
         {-1, "", "", "", false, "", ""}},
        {"NT no Count value", 2, nt({"\"0\"=\"USB\\\\Vid_058F&Pid_6387\\\\A\""}), {-1, "", "", "", std::nullopt, "", ""}},
        {"NT Count 0", 2, nt({"\"Count\"=dword:00000000"}), {0, "", "", "", std::nullopt, "", ""}},
        {"NT lower-case 0c76 accepted with any product", 2,
         nt({"\"Count\"=dword:00000002", "\"0\"=\"USB\\\\Vid_0c76&Pid_abcd\\\\A\"", "\"1\"=\"USB\\\\Vid_1234&Pid_5678\\\\B\""}),
         {1, "0", "1234", "5678", true, "0C76", "ABCD"}},
        {"NT value longer than the buffer is cut", 2,
         nt({"\"Count\"=dword:00000002", "\"0\"=\"" + long_path + "\"", "\"1\"=\"USB\\\\Vid_1234&Pid_5678\\\\B\""}),
         {1, "0", "1234", "5678", true, "058F", "6387"}},
        {"NT short text gives short identifiers", 2,
         nt({"\"Count\"=dword:00000002", "\"0\"=\"USB\\\\Vid_05\"", "\"1\"=\"USB\"" }),
         {0, "", "", "", std::nullopt, "", ""}},
        {"NT empty ValueName reads the default value", 2,
         nt({"\"Count\"=dword:00000000", "@=\"USB\\\\Vid_058F&Pid_9380\\\\D\""}),
         {0, "", "", "", true, "058F", "9380"}},
        {"9x drive beside a mouse", 1,
         ninex({"USB\\\\VID_0457&PID_0150\\\\1", "USB\\\\VID_046D&PID_C00E\\\\2"}),
         {1, "", "046D", "C00E", true, "0457", "0150"}},
        {"9x 090C drive: no stop vendor, the last USB device parsed stays", 1,
         ninex({"USB\\\\VID_090C&PID_1000\\\\1", "ROOT\\\\*PNP0A03\\\\0", "-"}),
         {1, "", "090C", "1000", true, "090C", "1000"}},
        {"9x prefix test is case-sensitive", 1, ninex({"usb\\\\vid_058f&pid_6387\\\\1"}),
         {0, "", "", "", true, "", ""}},
        {"9x search stops at the first stop vendor", 1,
         ninex({"USB\\\\VID_058F&PID_6387\\\\1", "USB\\\\VID_090C&PID_1000\\\\2"}),
         {2, "", "090C", "1000", true, "058F", "6387"}},
        {"9x no enumeration key", 1, std::string(kHeader) + "[HKEY_DYN_DATA\\Other]\n",
         {-1, "", "", "", false, "", ""}},
        {"9x subkeys without hardware keys are passed over", 1, ninex({"-", "-", "USB\\\\VID_1307&PID_1169\\\\3"}),
         {1, "", "1307", "1169", true, "1307", "1169"}},
        {"platform identifier 0 reads nothing", 0, nt({"\"Count\"=dword:00000002"}),
         {0, "", "", "", true, "", ""}},
        {"unreadable registry file", 2, "", {-1, "", "", "", false, "", ""}},
    };
    nv::test::TempDir dir;
    int i = 0;
    for (const Case& c : cases) {
        std::string file = c.reg.empty() ? dir / "missing.reg" : dir.Write("r" + std::to_string(i++) + ".reg", c.reg);
        SCOPED_TRACE(c.name);
        nv::test::ScopedEnv env("NORVALYN_REGISTRY", file);
        check(c.platform, c.expect);
    }
}

// The same decisions from sysfs trees through the live registry view.
TEST(ProbeLibrary, SysfsCases) {
    ASSERT_NE(probe().count, nullptr);
    using nv::sim::UsbDeviceSpec;
    auto drive = [](std::uint16_t vid, std::uint16_t pid) {
        UsbDeviceSpec d;
        d.vid = vid;
        d.pid = pid;
        d.serial = "S" + std::to_string(vid);
        d.luns.push_back({"Generic", "Flash Disk", "7.76", 2048});
        return d;
    };
    UsbDeviceSpec mouse;
    mouse.vid = 0x046D;
    mouse.pid = 0xC00E;
    mouse.interfaceClass = 0x03;

    struct SysCase {
        const char* name;
        std::vector<UsbDeviceSpec> devices;
        Expect nt, ninex;
    };
    const SysCase cases[] = {
        {"one Ravix drive", {drive(0x058F, 0x6387)},
         {1, "0", "", "", true, "058F", "6387"}, {1, "", "058F", "6387", true, "058F", "6387"}},
        {"Ravix drive beside a mouse", {mouse, drive(0x058F, 0x6387)},
         {1, "0", "", "", true, "058F", "6387"}, {1, "", "058F", "6387", true, "058F", "6387"}},
        {"two drives", {drive(0x058F, 0x6387), drive(0x1307, 0x0163)},
         {2, "1", "1307", "0163", std::nullopt, "", ""}, {2, "", "1307", "0163", std::nullopt, "", ""}},
        {"a drive no rule knows, alone", {drive(0x1234, 0x5678)},
         {1, "0", "", "", true, "1234", "5678"}, {0, "", "1234", "5678", true, "1234", "5678"}},
        {"an accepted drive and an unknown one", {drive(0x0C76, 0x0001), drive(0x1234, 0x5678)},
         {1, "0", "1234", "5678", true, "0C76", "0001"}, {1, "", "1234", "5678", std::nullopt, "", ""}},
        {"090C drive alone", {drive(0x090C, 0x1000)},
         {1, "0", "", "", true, "090C", "1000"}, {1, "", "090C", "1000", true, "090C", "1000"}},
        {"no drive", {}, {0, "", "", "", std::nullopt, "", ""}, {0, "", "", "", std::nullopt, "", ""}},
    };
    for (const SysCase& c : cases) {
        nv::test::TempDir dir;
        nv::sim::WorldWriter w(dir.path());
        ASSERT_TRUE(w.Create("fixture", nullptr));
        for (const auto& d : c.devices) w.AddUsbDevice(d);
        nv::test::ScopedEnv sysfs("NORVALYN_SYSFS_ROOT", dir / "sys");
        ::unsetenv("NORVALYN_REGISTRY");
        for (std::int32_t platform : {2, 1}) {
            SCOPED_TRACE(platform == 2 ? "NT" : "9x");
            SCOPED_TRACE(c.name);
            check(platform, platform == 2 ? c.nt : c.ninex);
        }
    }
}
