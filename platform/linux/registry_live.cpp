// The registry keys the system reads, synthesized from sysfs the way Windows
// would have filled them for the same USB devices:
//  - NT family: SYSTEM\CurrentControlSet\Services\USBSTOR\Enum lists the USB
//    devices that have a mass-storage interface: "Count", "NextInstance" and
//    "0", "1", ... holding device instance paths USB\Vid_058f&Pid_6387\<serial>
//    (Windows keeps the identifiers in the case the device reports them;
//    Linux shows them in lower case, as XP's USBSTOR list does).
//  - 9x family: HKEY_DYN_DATA\Config Manager\Enum has one subkey per device
//    node; USB devices carry "HardWareKey" USB\VID_058F&PID_6387\<serial>,
//    root hubs USB\ROOT_HUB\<n>, and the tree's root node HTREE\ROOT\0.
#include "platform/registry.h"
#include "platform/sysfs.h"

#include <cstdio>

namespace nv::platform::reg {
namespace {

std::string hex4(std::uint16_t v, bool upper) {
    char buf[8];
    std::snprintf(buf, sizeof buf, upper ? "%04X" : "%04x", static_cast<unsigned>(v));
    return buf;
}

// Windows makes up an instance id for a device without a serial number.
std::string instance_id(const sysfs::UsbDevice& d) {
    if (!d.serial.empty()) return d.serial;
    std::string id = "5&" + std::to_string(d.busnum) + "&0&";
    for (char c : d.name) id += (c == '-' || c == '.') ? '&' : c;
    return id;
}

}  // namespace

void AddLiveView(const std::string& sysfs_root, Registry& into) {
    auto devices = sysfs::ListUsbDevices(sysfs_root);

    Key& usbstor = into.Root(Hive::LocalMachine).Ensure("SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum");
    std::uint32_t count = 0;
    for (const auto& d : devices) {
        if (d.rootHub || !d.IsMassStorage()) continue;
        std::string path = "USB\\Vid_" + hex4(d.vid, false) + "&Pid_" + hex4(d.pid, false) + "\\" + instance_id(d);
        usbstor.Set(std::to_string(count), Value::String(path));
        ++count;
    }
    usbstor.Set("Count", Value::Dword(count));
    usbstor.Set("NextInstance", Value::Dword(count));

    Key& enumkey = into.Root(Hive::DynData).Ensure("Config Manager\\Enum");
    std::uint32_t node = 0;
    auto add_node = [&](const std::string& hardware_key) {
        char name[16];
        std::snprintf(name, sizeof name, "C%07X", 0x29A6F40u + node * 0x40u);
        ++node;
        Key& k = enumkey.Ensure(name);
        k.Set("HardWareKey", Value::String(hardware_key));
        k.Set("Problem", Value::Dword(0));
        k.Set("Status", Value::Dword(0x0180200B));
    };
    add_node("HTREE\\ROOT\\0");
    for (const auto& d : devices) {
        if (d.rootHub) {
            add_node("USB\\ROOT_HUB\\" + std::to_string(d.busnum));
            continue;
        }
        add_node("USB\\VID_" + hex4(d.vid, true) + "&PID_" + hex4(d.pid, true) + "\\" + instance_id(d));
    }
}

}  // namespace nv::platform::reg
