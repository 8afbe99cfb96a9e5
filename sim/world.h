// A simulated world: a directory shaped like the parts of /sys and /dev that
// the Linux back end reads, so that the real sysfs code runs on it unchanged.
//
//   <dir>/world.json   what was made (preset, devices); read by nvsim inspect
//   <dir>/sys/...      devices/pci0000:00/0000:00:1d.7/usbN/<port>/<port>:1.0/hostH/...,
//                      with the bus/usb/devices, bus/scsi/devices, class/block,
//                      class/scsi_generic and block links of a real kernel
//   <dir>/dev/sdX, <dir>/dev/sgN   device nodes of the SCSI units (plain files)
//
// Controllers behind the units keep their own state in the world directory
// (see the controller models in this folder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nv::sim {

struct ScsiLunSpec {
    std::string vendor = "Generic";    // inquiry texts as the kernel shows them
    std::string model = "Flash Disk";
    std::string rev = "7.76";
    std::uint64_t sectors = 0;        // 0: no medium
};

struct UsbDeviceSpec {
    std::uint16_t vid = 0, pid = 0;
    std::string serial, manufacturer, product;
    std::uint8_t interfaceClass = 0x08, interfaceSubClass = 0x06, interfaceProtocol = 0x50;
    std::string controller;           // "ravix", "kolmar", "" for none: who answers the units
    std::vector<ScsiLunSpec> luns;    // mass-storage units, LUN 0 first
};

// Where one unit of a device landed.
struct UnitPlacement {
    std::string address;   // "2:0:0:0"
    std::string block;     // "sdb"
    std::string generic;   // "sg1"
    std::string sysfsPath; // absolute path of the unit's directory
};

struct DevicePlacement {
    std::string name;      // "1-1"
    std::string sysfsPath;
    std::vector<UnitPlacement> units;
};

class WorldWriter {
public:
    explicit WorldWriter(std::string dir) : dir_(std::move(dir)) {}

    // Lays out an empty world (one root hub, no devices). Replaces an existing
    // world in dir only when dir holds a world.json or is empty; anything
    // else is refused, so a mistyped path never wipes a real folder.
    bool Create(const std::string& preset, std::string* error);

    // Plugs a device into the next free port of bus 1.
    DevicePlacement AddUsbDevice(const UsbDeviceSpec& spec);

    const std::string& Dir() const { return dir_; }

private:
    void write_manifest() const;
    std::string dir_;
    std::string preset_;
    int next_port_ = 1;
    int next_host_ = 2;      // host0/1 are the machine's own disks on a real kernel
    int next_disk_ = 1;      // sda is the machine's own disk
    int next_generic_ = 1;
    std::vector<std::pair<UsbDeviceSpec, DevicePlacement>> devices_;
};

// An inquiry field as the kernel shows it in sysfs: exactly width characters,
// padded with blanks (vendor 8, model 16, rev 4).
std::string InquiryField(const std::string& text, std::size_t width);

// Writes a small text attribute the way sysfs shows it (value and a line feed).
void WriteAttribute(const std::string& path, const std::string& value);

}  // namespace nv::sim
