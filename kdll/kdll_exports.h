// The 13 exports of KDLL.so that the Kolmar repair dialog calls, by their
// plain names. DeviceHandle is opaque to the caller.
#pragma once

#include <cstdint>

namespace nv::kdll {

using DeviceHandle = std::uint32_t;

using CreateCUSBDeviceFn = DeviceHandle (*)();
using DeviceExistFn = int (*)(DeviceHandle);
using GetNumberOfDriveFn = int (*)(DeviceHandle);
using SetCurrentDriveNumberFn = int (*)(DeviceHandle, int index);
using GetDeviceStringFn = int (*)(DeviceHandle, char* text256);
using GetFwVersionFn = int (*)(DeviceHandle, char* version32);
using GetUpdateFWFileFn = int (*)(DeviceHandle, char* path512, std::uint8_t select_device);
using GetChipIDFn = int (*)(DeviceHandle, std::uint16_t* chip_id, std::uint16_t* chip_ver);
using RunRepairDeviceFn = int (*)(DeviceHandle, std::uint8_t bflag);
using GetCurrentProgressFn = unsigned (*)(DeviceHandle);
using GetCurrentStateFn = std::uint8_t (*)(DeviceHandle);
using GetBADBlockInfomationFn = int (*)(DeviceHandle, std::uint32_t* bad, std::uint32_t* total, std::uint32_t* divisor);
using GetErrorCodeFn = std::uint32_t (*)(DeviceHandle);

// State reported once a repair run has ended.
inline constexpr std::uint8_t kStateFinished = 255;

}  // namespace nv::kdll
