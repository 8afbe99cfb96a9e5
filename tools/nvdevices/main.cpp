// nvdevices: prints what the Linux back end reads of the machine (or of the
// simulated world NORVALYN_SIM names): the USB devices with their SCSI units,
// and the registry keys synthesized from them. Used to compare a real
// kernel's device model with the fixtures and worlds the tests build.
//
//   nvdevices            devices and units
//   nvdevices registry   the live registry view (NT and 9x keys)
#include "platform/env.h"
#include "platform/registry.h"
#include "platform/sysfs.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

using namespace nv::platform;

std::string hex(unsigned v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*x", width, v);
    return buf;
}

void print_devices() {
    for (const auto& d : sysfs::ListUsbDevices(SysfsRoot())) {
        std::cout << "device " << d.name << " " << hex(d.vid, 4) << ":" << hex(d.pid, 4) << " bus " << d.busnum
                  << " dev " << d.devnum << (d.rootHub ? " root-hub" : "") << "\n";
        if (!d.rootHub)
            std::cout << "  serial \"" << d.serial << "\" manufacturer \"" << d.manufacturer << "\" product \""
                      << d.product << "\"\n";
        for (const auto& i : d.interfaces) {
            std::cout << "  interface " << i.name << " class " << hex(i.cls, 2) << "/" << hex(i.subclass, 2) << "/"
                      << hex(i.protocol, 2) << "\n";
            for (const auto& u : i.units)
                std::cout << "    unit " << u.address << " \"" << u.vendor << "\" \"" << u.model << "\" \"" << u.rev
                          << "\" block " << (u.block.empty() ? "-" : u.block) << " generic "
                          << (u.generic.empty() ? "-" : u.generic) << " sectors " << u.sectors << "\n";
        }
    }
}

std::string value_text(const reg::Value& v) {
    if (v.type == reg::REG_DWORD && v.data.size() == 4)
        return "dword:" + hex(v.data[0] | v.data[1] << 8 | v.data[2] << 16 | unsigned(v.data[3]) << 24, 8);
    if (v.type == reg::REG_SZ) {
        std::string s(v.data.begin(), v.data.end());
        while (!s.empty() && s.back() == '\0') s.pop_back();
        return "\"" + s + "\"";
    }
    return "type " + std::to_string(v.type);
}

void print_key(const reg::Key& k, const std::string& path) {
    std::cout << "[" << path << "]\n";
    for (const auto& [name, v] : k.Values()) std::cout << "\"" << name << "\"=" << value_text(v) << "\n";
    for (const auto& sub : k.SubKeys()) print_key(*sub, path + "\\" + sub->Name());
}

int print_registry() {
    auto r = reg::OpenSystemRegistry();
    if (!r) {
        std::cerr << "nvdevices: the registry cannot be read\n";
        return 1;
    }
    const char* usbstor = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum";
    if (const auto* k = r->Root(reg::Hive::LocalMachine).Find(usbstor))
        print_key(*k, std::string("HKEY_LOCAL_MACHINE\\") + usbstor);
    if (const auto* k = r->Root(reg::Hive::DynData).Find("Config Manager\\Enum"))
        print_key(*k, "HKEY_DYN_DATA\\Config Manager\\Enum");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "devices";
    if (what == "devices") {
        print_devices();
        return 0;
    }
    if (what == "registry") return print_registry();
    std::cerr << "usage: nvdevices [devices|registry]\n";
    return 2;
}
