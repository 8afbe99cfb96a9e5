// Counting the supported USB flash drives in the device registry and reading
// the identifiers of the one attached, for the NT and 9x registry layouts.
#pragma once

#include "platform/registry.h"
#include "shared/records.h"

#include <cstdint>
#include <string_view>

namespace nv::probe {

// AcceptedDevices: the drives GetDeviceCount counts as supported.
bool IsAccepted(const AnsiString& vid, const AnsiString& pid);

// VID from text positions 8-11, PID from 17-20, upper-cased; positions past
// the end of the text are absent.
void ParseHardwareKey(std::string_view text, VIDPIDINFO& record);

// registry null: the registry could not be read.
std::int32_t GetDeviceCount(const platform::reg::Registry* registry, std::int32_t platform_id, VIDPIDINFO* record);
bool GetUSBStorVidPid(const platform::reg::Registry* registry, std::int32_t platform_id, VIDPIDINFO* record);

}  // namespace nv::probe
