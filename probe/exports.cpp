// NorvalynDLL.so: the two exports the launcher binds by plain name. Each call
// reads a fresh view of the registry; the library keeps no state.
#include "probe/usb_probe.h"

#define NV_EXPORT extern "C" __attribute__((visibility("default")))

NV_EXPORT std::int32_t GetDeviceCount(std::int32_t platform_id, nv::VIDPIDINFO* record) {
    if (platform_id != 1 && platform_id != 2) return 0;
    auto registry = nv::platform::reg::OpenSystemRegistry();
    return nv::probe::GetDeviceCount(registry.get(), platform_id, record);
}

NV_EXPORT bool GetUSBStorVidPid(std::int32_t platform_id, nv::VIDPIDINFO* record) {
    if (platform_id != 1 && platform_id != 2) return true;
    auto registry = nv::platform::reg::OpenSystemRegistry();
    return nv::probe::GetUSBStorVidPid(registry.get(), platform_id, record);
}
