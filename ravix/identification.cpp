// Opening and closing the drive's units. This first form finds the one
// Ravix drive (USB vendor 058F) in sysfs and takes its units in LUN order;
// the identification by identity texts replaces the search later.
#include "ravix/recovery_dialog.h"

#include "platform/env.h"
#include "platform/sysfs.h"

namespace nv::ravix {
namespace {

constexpr std::uint16_t kRavixVendor = 0x058F;

std::vector<platform::sysfs::ScsiUnit> ravix_units() {
    for (const auto& d : platform::sysfs::ListUsbDevices(platform::SysfsRoot())) {
        if (d.vid != kRavixVendor) continue;
        std::vector<platform::sysfs::ScsiUnit> units;
        for (const auto& i : d.interfaces)
            for (const auto& u : i.units) units.push_back(u);
        if (!units.empty()) return units;
    }
    return {};
}

}  // namespace

void RecoveryDialog::OpenDevice() {
    if (UseAspi) {
        if (UnitCount != 0 && !IsNoUnit(CurrentRef, true)) return;
        UnitCount = 0;
        for (const auto& u : ravix_units()) {
            if (UnitCount >= UnitSlots.size()) break;
            // An address byte cannot name host 256 and up; wrapping would
            // name another adapter.
            if (u.host > 0xFF || u.target > 0xFF || u.lun > 0xFF) continue;
            UnitSlots[UnitCount++] = AspiAddress(static_cast<std::uint8_t>(u.host), static_cast<std::uint8_t>(u.target),
                                                 static_cast<std::uint8_t>(u.lun));
        }
        if (IsNoUnit(CurrentRef, true)) CurrentRef = UnitSlots[0];
        return;
    }
    if (CurrentRef != kNoHandle) CloseDevices();
    UnitCount = 0;
    for (const auto& u : ravix_units()) {
        if (UnitCount >= UnitSlots.size()) break;
        UnitSlots[UnitCount++] = Port.OpenUnit(u.path);
    }
    if (CurrentRef == kNoHandle) CurrentRef = UnitSlots[0];
}

void RecoveryDialog::CloseDevices() {
    if (UseAspi || Closing) return;
    if (CurrentRef != kNoHandle) {
        Port.CloseHandle(CurrentRef);
        if (UnitSlots[0] != CurrentRef && UnitSlots[0] != kNoHandle) Port.CloseHandle(UnitSlots[0]);
        CurrentRef = kNoHandle;
        UnitSlots[0] = kNoHandle;
        if (UnitSlots[1] != kNoHandle) Port.CloseHandle(UnitSlots[1]);
        UnitSlots[1] = kNoHandle;
        UnitCount = 0;
        return;
    }
    for (std::uint32_t i = 0; i < UnitCount && i < UnitSlots.size(); ++i) {
        if (UnitSlots[i] != kNoHandle) Port.CloseHandle(UnitSlots[i]);
        UnitSlots[i] = kNoHandle;
    }
    UnitCount = 0;
}

}  // namespace nv::ravix
