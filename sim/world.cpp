#include "sim/world.h"

#include "shared/usb_ids.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace nv::sim {
namespace {

constexpr const char* kHcd = "devices/pci0000:00/0000:00:1d.7";

std::string hex4_lower(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(v));
    return buf;
}

std::string hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02x", v & 0xFF);
    return buf;
}

void link(const fs::path& target_abs, const fs::path& link_path) {
    fs::create_directories(link_path.parent_path());
    std::error_code ec;
    fs::remove(link_path, ec);
    fs::create_directory_symlink(fs::relative(target_abs, link_path.parent_path()), link_path);
}

std::string disk_name(int index) {
    std::string name;
    int n = index;
    do {
        name.insert(name.begin(), static_cast<char>('a' + n % 26));
        n = n / 26 - 1;
    } while (n >= 0);
    return "sd" + name;
}

}  // namespace

std::string InquiryField(const std::string& text, std::size_t width) {
    std::string s = text.substr(0, width);
    s.resize(width, ' ');
    return s;
}

void WriteAttribute(const std::string& path, const std::string& value) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << value << '\n';
}

bool WorldWriter::Create(const std::string& preset, std::string* error) {
    std::error_code ec;
    fs::path dir(dir_);
    if (fs::exists(dir, ec)) {
        bool is_world = fs::exists(dir / "world.json", ec);
        bool empty = fs::is_directory(dir, ec) && fs::is_empty(dir, ec);
        if (!is_world && !empty) {
            if (error) *error = dir_ + " exists and is not a simulated world; refusing to replace it";
            return false;
        }
        if (is_world) {
            for (const auto& e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
        }
    }
    fs::create_directories(dir / "sys", ec);
    fs::create_directories(dir / "dev", ec);
    if (ec) {
        if (error) *error = "cannot create " + dir_ + ": " + ec.message();
        return false;
    }
    preset_ = preset;
    fs::path sys = dir / "sys";
    fs::path hub = sys / kHcd / "usb1";
    WriteAttribute((hub / "idVendor").string(), "1d6b");
    WriteAttribute((hub / "idProduct").string(), "0002");
    WriteAttribute((hub / "manufacturer").string(), "Linux ehci_hcd");
    WriteAttribute((hub / "product").string(), "EHCI Host Controller");
    WriteAttribute((hub / "serial").string(), "0000:00:1d.7");
    WriteAttribute((hub / "busnum").string(), "1");
    WriteAttribute((hub / "devnum").string(), "1");
    WriteAttribute((hub / "bDeviceClass").string(), "09");
    WriteAttribute((hub / "1-0:1.0" / "bInterfaceClass").string(), "09");
    link(hub, sys / "bus/usb/devices/usb1");
    // The kernel names a root hub's interface after bus and port 0, not "usb1".
    link(hub / "1-0:1.0", sys / "bus/usb/devices/1-0:1.0");
    write_manifest();
    return true;
}

DevicePlacement WorldWriter::AddUsbDevice(const UsbDeviceSpec& spec) {
    fs::path sys = fs::path(dir_) / "sys";
    DevicePlacement placed;
    placed.name = "1-" + std::to_string(next_port_++);
    fs::path dev = sys / kHcd / "usb1" / placed.name;
    placed.sysfsPath = fs::absolute(dev).string();
    WriteAttribute((dev / "idVendor").string(), hex4_lower(spec.vid));
    WriteAttribute((dev / "idProduct").string(), hex4_lower(spec.pid));
    if (!spec.serial.empty()) WriteAttribute((dev / "serial").string(), spec.serial);
    if (!spec.manufacturer.empty()) WriteAttribute((dev / "manufacturer").string(), spec.manufacturer);
    if (!spec.product.empty()) WriteAttribute((dev / "product").string(), spec.product);
    WriteAttribute((dev / "busnum").string(), "1");
    WriteAttribute((dev / "devnum").string(), std::to_string(next_port_));
    WriteAttribute((dev / "bDeviceClass").string(), "00");
    link(dev, sys / "bus/usb/devices" / placed.name);

    std::string ifname = placed.name + ":1.0";
    fs::path intf = dev / ifname;
    WriteAttribute((intf / "bInterfaceClass").string(), hex2(spec.interfaceClass));
    WriteAttribute((intf / "bInterfaceSubClass").string(), hex2(spec.interfaceSubClass));
    WriteAttribute((intf / "bInterfaceProtocol").string(), hex2(spec.interfaceProtocol));
    link(intf, sys / "bus/usb/devices" / ifname);

    if (spec.interfaceClass == 0x08 && !spec.luns.empty()) {
        int host = next_host_++;
        fs::path hostdir = intf / ("host" + std::to_string(host));
        fs::path target = hostdir / ("target" + std::to_string(host) + ":0:0");
        for (std::size_t lun = 0; lun < spec.luns.size(); ++lun) {
            const ScsiLunSpec& l = spec.luns[lun];
            UnitPlacement u;
            u.address = std::to_string(host) + ":0:0:" + std::to_string(lun);
            fs::path unit = target / u.address;
            u.sysfsPath = fs::absolute(unit).string();
            WriteAttribute((unit / "vendor").string(), InquiryField(l.vendor, 8));
            WriteAttribute((unit / "model").string(), InquiryField(l.model, 16));
            WriteAttribute((unit / "rev").string(), InquiryField(l.rev, 4));
            WriteAttribute((unit / "type").string(), "0");
            link(unit, sys / "bus/scsi/devices" / u.address);

            u.block = disk_name(next_disk_++);
            fs::path blk = unit / "block" / u.block;
            WriteAttribute((blk / "size").string(), std::to_string(l.sectors));
            WriteAttribute((blk / "removable").string(), "1");
            WriteAttribute((blk / "ro").string(), "0");
            WriteAttribute((blk / "dev").string(), "8:" + std::to_string((next_disk_ - 1) * 16));
            link(blk, sys / "class/block" / u.block);
            link(blk, sys / "block" / u.block);

            u.generic = "sg" + std::to_string(next_generic_++);
            fs::path sg = unit / "scsi_generic" / u.generic;
            WriteAttribute((sg / "dev").string(), "21:" + u.generic.substr(2));
            link(sg, sys / "class/scsi_generic" / u.generic);

            std::ofstream(fs::path(dir_) / "dev" / u.block).flush();
            std::ofstream(fs::path(dir_) / "dev" / u.generic).flush();
            placed.units.push_back(u);
        }
    }
    devices_.emplace_back(spec, placed);
    write_manifest();
    return placed;
}

void WorldWriter::write_manifest() const {
    nlohmann::json j;
    j["format"] = 1;
    j["preset"] = preset_;
    j["devices"] = nlohmann::json::array();
    for (const auto& [spec, placed] : devices_) {
        nlohmann::json d;
        d["port"] = placed.name;
        d["vid"] = usb::IdText(spec.vid);
        d["pid"] = usb::IdText(spec.pid);
        d["serial"] = spec.serial;
        d["manufacturer"] = spec.manufacturer;
        d["product"] = spec.product;
        d["controller"] = spec.controller;
        d["units"] = nlohmann::json::array();
        for (std::size_t i = 0; i < placed.units.size(); ++i) {
            const auto& u = placed.units[i];
            d["units"].push_back({{"address", u.address},
                                  {"block", u.block},
                                  {"generic", u.generic},
                                  {"vendor", spec.luns[i].vendor},
                                  {"model", spec.luns[i].model},
                                  {"rev", spec.luns[i].rev},
                                  {"sectors", spec.luns[i].sectors}});
        }
        j["devices"].push_back(d);
    }
    std::ofstream(fs::path(dir_) / "world.json") << j.dump(2) << '\n';
}

}  // namespace nv::sim
