#include "platform/sysfs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace nv::platform::sysfs {
namespace {

std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r' || s.back() == '\0')) s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return s.substr(i);
}

unsigned hex_attr(const fs::path& dir, const char* name) {
    auto v = ReadAttribute((dir / name).string());
    if (!v) return 0;
    try {
        return static_cast<unsigned>(std::stoul(*v, nullptr, 16));
    } catch (...) {
        return 0;
    }
}

int dec_attr(const fs::path& dir, const char* name) {
    auto v = ReadAttribute((dir / name).string());
    if (!v) return 0;
    try {
        return std::stoi(*v);
    } catch (...) {
        return 0;
    }
}

// "1-1.2" sorts by bus then port numbers; "usb1" (root hub) before its ports.
std::vector<int> sort_key(const std::string& name) {
    std::vector<int> key;
    if (name.starts_with("usb")) {
        key.push_back(std::atoi(name.c_str() + 3));
        key.push_back(-1);
        return key;
    }
    int n = 0;
    bool any = false;
    for (char c : name) {
        if (c >= '0' && c <= '9') {
            n = n * 10 + (c - '0');
            any = true;
        } else if (any) {
            key.push_back(n);
            n = 0;
            any = false;
        }
    }
    if (any) key.push_back(n);
    return key;
}

bool parse_scsi_address(const std::string& name, ScsiUnit* u) {
    return std::sscanf(name.c_str(), "%d:%d:%d:%d", &u->host, &u->channel, &u->target, &u->lun) == 4;
}

std::string first_entry(const fs::path& dir) {
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

// hostN/targetN:C:T/N:C:T:L below a mass-storage interface.
std::vector<ScsiUnit> scan_units(const fs::path& interface_dir) {
    std::vector<ScsiUnit> units;
    std::error_code ec;
    for (const auto& host : fs::directory_iterator(interface_dir, ec)) {
        std::string hn = host.path().filename().string();
        if (!hn.starts_with("host")) continue;
        std::error_code ec2;
        for (const auto& target : fs::directory_iterator(host.path(), ec2)) {
            if (!target.path().filename().string().starts_with("target")) continue;
            std::error_code ec3;
            for (const auto& unit : fs::directory_iterator(target.path(), ec3)) {
                ScsiUnit u;
                u.address = unit.path().filename().string();
                if (!parse_scsi_address(u.address, &u)) continue;
                u.path = unit.path().string();
                u.vendor = ReadAttribute((unit.path() / "vendor").string()).value_or("");
                u.model = ReadAttribute((unit.path() / "model").string()).value_or("");
                u.rev = ReadAttribute((unit.path() / "rev").string()).value_or("");
                u.block = first_entry(unit.path() / "block");
                u.generic = first_entry(unit.path() / "scsi_generic");
                if (!u.block.empty()) {
                    auto size = ReadAttribute((unit.path() / "block" / u.block / "size").string());
                    if (size) {
                        try {
                            u.sectors = std::stoull(*size);
                        } catch (...) {
                        }
                    }
                }
                units.push_back(std::move(u));
            }
        }
    }
    std::sort(units.begin(), units.end(), [](const ScsiUnit& a, const ScsiUnit& b) {
        return std::tie(a.host, a.channel, a.target, a.lun) < std::tie(b.host, b.channel, b.target, b.lun);
    });
    return units;
}

}  // namespace

std::optional<std::string> ReadAttribute(const std::string& path) {
    std::ifstream f(path);
    if (!f) return std::nullopt;
    std::ostringstream ss;
    ss << f.rdbuf();
    if (f.bad()) return std::nullopt;
    return trim(ss.str());
}

bool UsbDevice::IsMassStorage() const {
    return std::any_of(interfaces.begin(), interfaces.end(), [](const UsbInterface& i) { return i.cls == 0x08; });
}

std::vector<UsbDevice> ListUsbDevices(const std::string& root) {
    std::vector<UsbDevice> devices;
    fs::path bus = fs::path(root) / "bus" / "usb" / "devices";
    std::error_code ec;
    std::vector<std::pair<std::string, fs::path>> entries;
    for (const auto& e : fs::directory_iterator(bus, ec)) entries.emplace_back(e.path().filename().string(), e.path());
    for (const auto& [name, link] : entries) {
        if (name.find(':') != std::string::npos) continue;  // an interface
        std::error_code ec2;
        fs::path dir = fs::canonical(link, ec2);
        if (ec2) dir = link;
        UsbDevice d;
        d.name = name;
        d.path = dir.string();
        d.vid = static_cast<std::uint16_t>(hex_attr(dir, "idVendor"));
        d.pid = static_cast<std::uint16_t>(hex_attr(dir, "idProduct"));
        d.serial = ReadAttribute((dir / "serial").string()).value_or("");
        d.manufacturer = ReadAttribute((dir / "manufacturer").string()).value_or("");
        d.product = ReadAttribute((dir / "product").string()).value_or("");
        d.busnum = dec_attr(dir, "busnum");
        d.devnum = dec_attr(dir, "devnum");
        d.rootHub = name.starts_with("usb");
        std::error_code ec3;
        for (const auto& sub : fs::directory_iterator(dir, ec3)) {
            std::string sn = sub.path().filename().string();
            if (!sn.starts_with(name + ":")) continue;
            UsbInterface i;
            i.name = sn;
            i.cls = static_cast<std::uint8_t>(hex_attr(sub.path(), "bInterfaceClass"));
            i.subclass = static_cast<std::uint8_t>(hex_attr(sub.path(), "bInterfaceSubClass"));
            i.protocol = static_cast<std::uint8_t>(hex_attr(sub.path(), "bInterfaceProtocol"));
            if (i.cls == 0x08) i.units = scan_units(sub.path());
            d.interfaces.push_back(std::move(i));
        }
        std::sort(d.interfaces.begin(), d.interfaces.end(), [](const UsbInterface& a, const UsbInterface& b) { return a.name < b.name; });
        devices.push_back(std::move(d));
    }
    std::sort(devices.begin(), devices.end(),
              [](const UsbDevice& a, const UsbDevice& b) { return sort_key(a.name) < sort_key(b.name); });
    return devices;
}

}  // namespace nv::platform::sysfs
