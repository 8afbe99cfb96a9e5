#include "sim/ravix_world.h"

#include "platform/sysfs.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace nv::sim {
namespace {

std::vector<ScsiLunSpec> luns_of(const ravix::ControllerState& s) {
    ravix::Identity id = ravix::InquiryIdentity(s);
    std::vector<ScsiLunSpec> luns;
    for (std::uint32_t a = 0; a < ravix::AreaCount(s); ++a)
        luns.push_back({id.vendor, id.product, id.rev, ravix::AreaSectors(s, a)});
    return luns;
}

std::string hex2(unsigned v) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", v & 0xFF);
    return b;
}

const char* state_name(std::uint8_t state) {
    switch (state) {
    case 0xC0: return "ready";
    case 0xB0: return "not ready (B0h)";
    case 0xA0: return "not ready (A0h)";
    default: return "unknown";
    }
}

}  // namespace

ravix::ControllerState HealthyRavix(const std::string& serial8) {
    ravix::ControllerState s;
    s.code = 0xAE;
    s.revision = 0x07;
    s.chips.assign(2, ravix::Chip{});
    s.chips[0].badBlocks[3] = {5, 77, 170};
    s.chips[1].badBlocks[10] = {12};
    s.spares.assign(s.chips.size() * 16, 25);
    s.config = ravix::MakeConfigBlock(s, serial8);
    for (std::size_t i = 0; i < 512; ++i) {
        s.page2[i] = static_cast<std::uint8_t>(0x20 + i % 64);
        s.page3[i] = static_cast<std::uint8_t>(0x80 ^ (i % 251));
    }
    s.factorySerial = "0123456789AB";
    return s;
}

DevicePlacement AddRavixDrive(WorldWriter& world, const ravix::ControllerState& state) {
    UsbDeviceSpec d;
    d.vid = 0x058F;
    d.pid = 0x6387;
    d.serial = ravix::UsbSerial(state);
    d.manufacturer = "Generic";
    d.product = "Mass Storage";
    d.controller = "ravix";
    d.luns = luns_of(state);
    DevicePlacement placed = world.AddUsbDevice(d);
    ravix::CreateDrive(ravix::DriveDir(world.Dir(), placed.name), state);
    return placed;
}

std::vector<std::string> RavixDrives(const std::string& worldDir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(worldDir) / "ravix", ec))
        if (fs::exists(e.path() / "controller.json")) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Replug(const std::string& worldDir, std::string* error) {
    auto devices = platform::sysfs::ListUsbDevices(worldDir + "/sys");
    for (const auto& name : RavixDrives(worldDir)) {
        auto s = ravix::LoadState(ravix::DriveDir(worldDir, name));
        if (!s) {
            if (error) *error = "cannot read the controller state of " + name;
            return false;
        }
        auto dev = std::find_if(devices.begin(), devices.end(), [&](const auto& d) { return d.name == name; });
        if (dev == devices.end()) continue;
        WriteAttribute(dev->path + "/serial", ravix::UsbSerial(*s));
        ravix::Identity id = ravix::InquiryIdentity(*s);
        for (const auto& i : dev->interfaces)
            for (const auto& u : i.units) {
                WriteAttribute(u.path + "/vendor", InquiryField(id.vendor, 8));
                WriteAttribute(u.path + "/model", InquiryField(id.product, 16));
                WriteAttribute(u.path + "/rev", InquiryField(id.rev, 4));
                if (!u.block.empty())
                    WriteAttribute(u.path + "/block/" + u.block + "/size",
                                   std::to_string(ravix::AreaSectors(*s, static_cast<std::uint32_t>(u.lun))));
            }
    }
    return true;
}

bool SetFaults(const std::string& worldDir, const std::string& usbName, const ravix::Faults& faults,
               std::string* error) {
    auto drives = RavixDrives(worldDir);
    std::string name = usbName.empty() && !drives.empty() ? drives.front() : usbName;
    std::string dir = ravix::DriveDir(worldDir, name);
    auto s = ravix::LoadState(dir);
    if (name.empty() || !s) {
        if (error) *error = "no Ravix drive " + usbName + " in " + worldDir;
        return false;
    }
    s->faults = faults;
    return ravix::SaveState(dir, *s);
}

bool Inspect(const std::string& worldDir, std::ostream& out, std::string* error) {
    auto drives = RavixDrives(worldDir);
    if (drives.empty()) {
        if (error) *error = "no Ravix drive in " + worldDir;
        return false;
    }
    for (const auto& name : drives) {
        auto s = ravix::LoadState(ravix::DriveDir(worldDir, name));
        if (!s) {
            if (error) *error = "cannot read the controller state of " + name;
            return false;
        }
        ravix::Identity id = ravix::InquiryIdentity(*s);
        out << "drive " << name << "\n";
        out << "  identity: " << id.vendor << " / " << id.product << " / " << id.rev
            << (ravix::ConfigValid(*s) ? " (configured)" : " (default: configuration block not valid)") << "\n";
        out << "  serial number: " << ravix::UsbSerial(*s) << "\n";
        auto shown = platform::sysfs::ReadAttribute(worldDir + "/sys/bus/usb/devices/" + name + "/serial");
        if (shown && *shown != ravix::UsbSerial(*s)) out << "  enumerated as: " << *shown << " (replug to refresh)\n";
        out << "  controller: " << hex2(s->code) << "h revision " << hex2(s->revision) << "h\n";
        out << "  capacity: " << ravix::TotalSectors(*s) << " sectors";
        if (s->capacityOverride) out << " (damaged capacity setting)";
        out << "\n";
        for (std::uint32_t a = 0; a < ravix::AreaCount(*s); ++a)
            out << "  area " << a << ": " << ravix::AreaSectors(*s, a) << " sectors\n";
        std::uint32_t zones = 4u * s->zoneGroups;
        std::uint32_t allBad = 0;
        for (std::size_t c = 0; c < s->chips.size(); ++c) {
            const auto& ch = s->chips[c];
            std::uint32_t bad = ravix::BadBlockCount(ch, zones);
            allBad += bad;
            out << "  chip " << c << ": id " << hex2(ch.id[0]) << " " << hex2(ch.id[1]) << " " << hex2(ch.id[2]) << " "
                << hex2(ch.id[3]) << ", " << zones << " zones, " << bad << (bad == 1 ? " bad block" : " bad blocks");
            if (!ch.deadZones.empty()) out << " (" << ch.deadZones.size() << " zones unusable)";
            out << "\n";
        }
        out << "  bad blocks: " << allBad << "\n";
        out << "  state: " << state_name(s->state) << ", mode " << hex2(s->mode) << "h";
        if (s->notReadyCount) out << ", not ready for " << s->notReadyCount << " more tests";
        out << "\n";
        out << "  module data: " << (s->module44 == 1 ? "not needed or loaded" : "needed") << "\n";
        if (s->erasedBlocks || s->markedBlocks)
            out << "  erased blocks: " << s->erasedBlocks << ", blocks marked bad: " << s->markedBlocks << "\n";
        const auto& f = s->faults;
        if (f.Any()) {
            out << "  faults:";
            if (f.pulled) out << " pulled";
            if (f.failOpcode) out << " fail-opcode=" << hex2(*f.failOpcode) << "h";
            if (f.checkOpcode) out << " check-condition=" << hex2(*f.checkOpcode) << "h";
            if (f.failAfter) out << " fail-after=" << *f.failAfter;
            out << "\n";
        }
    }
    return true;
}

}  // namespace nv::sim
