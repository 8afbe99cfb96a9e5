#include "sim/presets.h"

#include "sim/world.h"

#include <functional>

namespace nv::sim {
namespace {

UsbDeviceSpec ravix_drive(const std::string& serial) {
    UsbDeviceSpec d;
    d.vid = 0x058F;
    d.pid = 0x6387;
    d.serial = serial;
    d.manufacturer = "Generic";
    d.product = "Mass Storage";
    d.controller = "ravix";
    d.luns.push_back({"Generic", "Flash Disk", "8.07", 2 * 1024 * 1024 * 2});  // 2 GiB
    d.luns.back().vendor = "Norvalyn";
    return d;
}

UsbDeviceSpec kolmar_drive() {
    UsbDeviceSpec d;
    d.vid = 0x1307;
    d.pid = 0x0163;
    d.serial = "KR450A1B2C3D4";
    d.manufacturer = "Norvalyn";
    d.product = "USB2FlashStorage";
    d.controller = "kolmar";
    d.luns.push_back({"Norvalyn", "USB2FlashStorage", "0.00", 4 * 1024 * 1024 * 2});
    return d;
}

UsbDeviceSpec usb_mouse() {
    UsbDeviceSpec d;
    d.vid = 0x046D;
    d.pid = 0xC00E;
    d.manufacturer = "Logitech";
    d.product = "USB-PS/2 Optical Mouse";
    d.interfaceClass = 0x03;
    d.interfaceSubClass = 0x01;
    d.interfaceProtocol = 0x02;
    return d;
}

struct Preset {
    PresetInfo info;
    std::function<void(WorldWriter&)> fill;
};

const std::vector<Preset>& table() {
    static const std::vector<Preset> presets = {
        {{"ravix", "one Ravix drive (058F/6387)"}, [](WorldWriter& w) { w.AddUsbDevice(ravix_drive("0123456789AB")); }},
        {{"kolmar", "one Kolmar drive (1307/0163)"}, [](WorldWriter& w) { w.AddUsbDevice(kolmar_drive()); }},
        {{"two-drives", "a Ravix drive and a Kolmar drive"},
         [](WorldWriter& w) {
             w.AddUsbDevice(ravix_drive("0123456789AB"));
             w.AddUsbDevice(kolmar_drive());
         }},
        {{"ravix-mouse", "a Ravix drive beside a USB mouse"},
         [](WorldWriter& w) {
             w.AddUsbDevice(usb_mouse());
             w.AddUsbDevice(ravix_drive("0123456789AB"));
         }},
        {{"none", "no drive attached"}, [](WorldWriter&) {}},
    };
    return presets;
}

}  // namespace

const std::vector<PresetInfo>& Presets() {
    static const std::vector<PresetInfo> infos = [] {
        std::vector<PresetInfo> v;
        for (const auto& p : table()) v.push_back(p.info);
        return v;
    }();
    return infos;
}

bool CreatePreset(const std::string& dir, const std::string& preset, std::string* error) {
    for (const auto& p : table()) {
        if (p.info.name != preset) continue;
        WorldWriter w(dir);
        if (!w.Create(preset, error)) return false;
        p.fill(w);
        return true;
    }
    if (error) *error = "unknown preset '" + preset + "'";
    return false;
}

}  // namespace nv::sim
