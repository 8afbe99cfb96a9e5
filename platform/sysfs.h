// What the Linux back end reads of the kernel's device model: USB devices,
// their interfaces, and the SCSI units and block devices behind a
// mass-storage interface. The same code reads /sys, a test fixture or a
// simulated world (SysfsRoot()).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nv::platform::sysfs {

struct ScsiUnit {
    std::string address;   // "6:0:0:0" host:channel:target:lun
    int host = 0, channel = 0, target = 0, lun = 0;
    std::string vendor, model, rev;  // inquiry texts as the kernel shows them, blanks trimmed
    std::string block;     // "sdb", empty when the unit has no disk
    std::string generic;   // "sg1", empty without the sg driver
    std::uint64_t sectors = 0;  // size of the disk in 512-byte sectors
    std::string path;      // sysfs directory of the unit
};

struct UsbInterface {
    std::string name;  // "1-1:1.0"
    std::uint8_t cls = 0, subclass = 0, protocol = 0;
    std::vector<ScsiUnit> units;  // for a mass-storage interface bound to usb-storage
};

struct UsbDevice {
    std::string name;  // "1-1", "1-1.2", "usb1" for a root hub
    std::string path;  // sysfs directory, links resolved
    std::uint16_t vid = 0, pid = 0;
    std::string serial, manufacturer, product;
    int busnum = 0, devnum = 0;
    bool rootHub = false;
    std::vector<UsbInterface> interfaces;

    bool IsMassStorage() const;
};

// Every USB device under <root>/bus/usb/devices, root hubs included, in the
// kernel's naming order (bus, then port path).
std::vector<UsbDevice> ListUsbDevices(const std::string& root);

// A small sysfs attribute: its text without the final line feed; nullopt when absent.
std::optional<std::string> ReadAttribute(const std::string& path);

}  // namespace nv::platform::sysfs
