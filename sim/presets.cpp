#include "sim/presets.h"

#include "sim/ravix_world.h"
#include "sim/world.h"

#include <functional>

namespace nv::sim {
namespace {

ravix::ControllerState healthy() { return HealthyRavix("NV3K8Q2M"); }

ravix::ControllerState damaged() {
    ravix::ControllerState s = healthy();
    s.code = 0xAB;
    s.revision = 'B';
    // The block lost its marker and serial: the drive falls back to its
    // default identity and a capacity setting that makes no sense.
    for (std::size_t i = 0; i < s.config.size(); ++i) s.config[i] = static_cast<std::uint8_t>((i * 37 + 11) & 0xFF);
    s.config[126] = 0xFF;
    s.spares.assign(s.chips.size() * 16, 0);
    s.capacityOverride = 32768;
    return s;
}

ravix::ControllerState divided() {
    ravix::ControllerState s = healthy();
    s.code = 0xAA;
    s.revision = 0x07;
    s.config = ravix::MakeConfigBlock(s, "NV5D1V2A");
    s.secondAreaSectors = 524288;
    return s;
}

ravix::ControllerState worn_out() {
    ravix::ControllerState s = healthy();
    // Chip 1 has lost four whole zones and many blocks besides: more than
    // its spare budget.
    s.chips[1].deadZones = {4, 5, 6, 12};
    for (int z = 0; z < 32; z += 3) {
        auto& list = s.chips[1].badBlocks[z];
        for (int b = 0; b < 40; ++b) list.push_back(static_cast<std::uint8_t>(b * 6 + 1));
    }
    return s;
}

ravix::ControllerState mode40() {
    ravix::ControllerState s = healthy();
    s.code = 0xAA;
    s.revision = 0x07;
    s.config = ravix::MakeConfigBlock(s, "NV40MODE");
    s.mode = 0x40;
    return s;
}

ravix::ControllerState not_ready() {
    ravix::ControllerState s = healthy();
    s.state = 0xB0;
    s.notReadyCount = 3;
    return s;
}

ravix::ControllerState module_needed() {
    ravix::ControllerState s = healthy();
    for (auto& c : s.chips) c.id = {0xEC, 0xD3, 0x55, 0x25};
    s.module44 = 0;
    s.module41 = 0;
    return s;
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
        {{"ravix", "one healthy Ravix drive (058F/6387), same as ravix-healthy"},
         [](WorldWriter& w) { AddRavixDrive(w, healthy()); }},
        {{"ravix-healthy", "a healthy Ravix drive: controller AEh, valid configuration, few bad blocks"},
         [](WorldWriter& w) { AddRavixDrive(w, healthy()); }},
        {{"ravix-damaged", "damaged configuration block: default identity, wrong capacity"},
         [](WorldWriter& w) { AddRavixDrive(w, damaged()); }},
        {{"ravix-divided", "a drive divided into two areas (two units)"},
         [](WorldWriter& w) { AddRavixDrive(w, divided()); }},
        {{"ravix-worn", "worn out: more bad blocks than the spare budget"},
         [](WorldWriter& w) { AddRavixDrive(w, worn_out()); }},
        {{"ravix-mode40", "controller in mode 40h, needs the mode reset"},
         [](WorldWriter& w) { AddRavixDrive(w, mode40()); }},
        {{"ravix-notready", "controller in state B0h, not ready for the first tests"},
         [](WorldWriter& w) { AddRavixDrive(w, not_ready()); }},
        {{"ravix-module", "flash EC D3 55 25 that needs module data"},
         [](WorldWriter& w) { AddRavixDrive(w, module_needed()); }},
        {{"kolmar", "one Kolmar drive (1307/0163)"}, [](WorldWriter& w) { w.AddUsbDevice(kolmar_drive()); }},
        {{"two-drives", "a Ravix drive and a Kolmar drive"},
         [](WorldWriter& w) {
             AddRavixDrive(w, healthy());
             w.AddUsbDevice(kolmar_drive());
         }},
        {{"ravix-mouse", "a Ravix drive beside a USB mouse"},
         [](WorldWriter& w) {
             w.AddUsbDevice(usb_mouse());
             AddRavixDrive(w, healthy());
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
