#include "probe/usb_probe.h"

#include <cstring>
#include <string>

namespace nv::probe {

using namespace platform::reg;

namespace {

constexpr const char* kUsbStorEnum = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum";
constexpr const char* kConfigManagerEnum = "Config Manager\\Enum";
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kBufferSize = 256;

struct Row {
    std::string_view vid;
    std::string_view pid;  // empty: any product
};
constexpr Row kAcceptedDevices[] = {
    {"0C76", {}},     {"0EA0", {}},     {"058F", "6387"}, {"058F", "9380"}, {"0457", "0151"},
    {"0457", "0150"}, {"1307", "0163"}, {"1307", "1169"}, {"090C", "1000"},
};
constexpr std::string_view kStopVendors[] = {"058F", "0457", "1307"};

bool is_stop_vendor(const AnsiString& vid) {
    for (auto v : kStopVendors)
        if (vid == v) return true;
    return false;
}

// Size query, then a read into the fixed 256-byte buffer. A longer text is
// cut to what fits (still terminated); it is never written past the buffer.
bool read_text(const Registry& reg, HKEY key, const char* name, char (&buffer)[kBufferSize]) {
    std::uint32_t size = 0;
    if (reg.RegQueryValueEx(key, name, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    std::memset(buffer, 0, sizeof buffer);
    size = kBufferSize;
    long rc = reg.RegQueryValueEx(key, name, nullptr, reinterpret_cast<std::uint8_t*>(buffer), &size);
    buffer[kBufferSize - 1] = 0;
    return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
}

std::int32_t count_nt(const Registry& reg, VIDPIDINFO* record) {
    HKEY key = nullptr;
    if (reg.RegOpenKey(reg.RootHandle(Hive::LocalMachine), kUsbStorEnum, &key) != ERROR_SUCCESS) return -1;
    std::uint32_t size = 0;
    if (reg.RegQueryValueEx(key, "Count", nullptr, nullptr, &size) != ERROR_SUCCESS) {
        reg.RegCloseKey(key);
        return -1;
    }
    std::uint8_t raw[4] = {};
    size = sizeof raw;
    reg.RegQueryValueEx(key, "Count", nullptr, raw, &size);
    std::uint32_t count = raw[0] | (raw[1] << 8) | (raw[2] << 16) | (static_cast<std::uint32_t>(raw[3]) << 24);

    std::int32_t result = 0;
    if (count > 1) {
        for (std::uint32_t i = 0; i < count; ++i) {
            std::string name = std::to_string(i);
            char text[kBufferSize];
            if (!read_text(reg, key, name.c_str(), text)) return -1;  // what was counted so far is dropped
            ParseHardwareKey(text, *record);
            if (IsAccepted(record->VID, record->PID)) {
                ++result;
                record->ValueName = name;
            }
        }
    } else if (count == 1) {
        // The single device is counted without looking at its identifiers.
        result = 1;
        record->ValueName = "0";
    }
    reg.RegCloseKey(key);
    return result;
}

// Visits every subkey of Config Manager\Enum that carries a USB hardware key;
// visit returns true to end the walk.
template <typename Visit, typename After>
void walk_9x(const Registry& reg, HKEY enum_key, Visit visit, After after_index) {
    for (std::uint32_t index = 0;; ++index) {
        char name[kBufferSize];
        std::uint32_t name_size = kBufferSize;
        long rc = reg.RegEnumKeyEx(enum_key, index, name, &name_size);
        if (rc == ERROR_NO_MORE_ITEMS) return;
        if (rc == ERROR_SUCCESS) {
            HKEY sub = nullptr;
            if (reg.RegOpenKeyEx(enum_key, name, 0, kKeyRead, &sub) == ERROR_SUCCESS) {
                char text[kBufferSize];
                if (read_text(reg, sub, "HardWareKey", text) && std::strncmp(text, "USB\\VID", 7) == 0) visit(text);
                reg.RegCloseKey(sub);
            }
        }
        if (after_index()) return;
    }
}

std::int32_t count_9x(const Registry& reg, VIDPIDINFO* record) {
    HKEY key = nullptr;
    if (reg.RegOpenKeyEx(reg.RootHandle(Hive::DynData), kConfigManagerEnum, 0, kKeyRead, &key) != ERROR_SUCCESS)
        return -1;
    std::int32_t result = 0;
    walk_9x(
        reg, key,
        [&](const char* text) {
            ParseHardwareKey(text, *record);
            if (IsAccepted(record->VID, record->PID)) ++result;
        },
        [] { return false; });
    reg.RegCloseKey(key);
    return result;
}

bool vidpid_nt(const Registry& reg, VIDPIDINFO* record) {
    HKEY key = nullptr;
    if (reg.RegOpenKey(reg.RootHandle(Hive::LocalMachine), kUsbStorEnum, &key) != ERROR_SUCCESS) return false;
    char text[kBufferSize];
    if (!read_text(reg, key, record->ValueName.c_str(), text)) return false;
    ParseHardwareKey(text, *record);
    reg.RegCloseKey(key);
    return true;
}

bool vidpid_9x(const Registry& reg, VIDPIDINFO* record) {
    HKEY key = nullptr;
    if (reg.RegOpenKeyEx(reg.RootHandle(Hive::DynData), kConfigManagerEnum, 0, kKeyRead, &key) != ERROR_SUCCESS)
        return false;
    walk_9x(
        reg, key, [&](const char* text) { ParseHardwareKey(text, *record); },
        [&] { return is_stop_vendor(record->VID); });
    reg.RegCloseKey(key);
    return true;
}

}  // namespace

bool IsAccepted(const AnsiString& vid, const AnsiString& pid) {
    for (const Row& r : kAcceptedDevices)
        if (vid == r.vid && (r.pid.empty() || pid == r.pid)) return true;
    return false;
}

void ParseHardwareKey(std::string_view text, VIDPIDINFO& record) {
    auto slice = [&](std::size_t from) {
        return from < text.size() ? text.substr(from, 4) : std::string_view();
    };
    record.VID = AnsiString(slice(8)).UpperCase();
    record.PID = AnsiString(slice(17)).UpperCase();
}

std::int32_t GetDeviceCount(const Registry* registry, std::int32_t platform_id, VIDPIDINFO* record) {
    if (platform_id != 1 && platform_id != 2) return 0;
    if (!record) return -1;
    if (!registry) return -1;
    return platform_id == 2 ? count_nt(*registry, record) : count_9x(*registry, record);
}

bool GetUSBStorVidPid(const Registry* registry, std::int32_t platform_id, VIDPIDINFO* record) {
    if (platform_id != 1 && platform_id != 2) return true;
    if (!record || !registry) return false;
    return platform_id == 2 ? vidpid_nt(*registry, record) : vidpid_9x(*registry, record);
}

}  // namespace nv::probe
