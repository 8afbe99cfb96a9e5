// KDLL.so, first cut: every export is there and answers as a library that
// sees no drive would. The repair dialog's work makes it real.
#include "kdll/kdll_exports.h"

#include <cstring>

#define KDLL_EXPORT extern "C" __attribute__((visibility("default")))

using nv::kdll::DeviceHandle;

namespace {
constexpr DeviceHandle kHandle = 1;
}

KDLL_EXPORT DeviceHandle KDLL_CreateCUSBDevice() { return kHandle; }
KDLL_EXPORT int KDLL_DeviceExist(DeviceHandle) { return 0; }
KDLL_EXPORT int KDLL_GetNumberOfDrive(DeviceHandle) { return 0; }
KDLL_EXPORT int KDLL_SetCurrentDriveNumber(DeviceHandle, int) { return 0; }
KDLL_EXPORT int KDLL_GetDeviceString(DeviceHandle, char* text) {
    if (text) text[0] = '\0';
    return 0;
}
KDLL_EXPORT int KDLL_GetFwVersion(DeviceHandle, char* version) {
    if (version) version[0] = '\0';
    return 0;
}
KDLL_EXPORT int KDLL_GetUpdateFWFile(DeviceHandle, char* path, std::uint8_t) {
    if (path) path[0] = '\0';
    return 0;
}
KDLL_EXPORT int KDLL_GetChipID(DeviceHandle, std::uint16_t* chip_id, std::uint16_t* chip_ver) {
    if (chip_id) *chip_id = 0;
    if (chip_ver) *chip_ver = 0;
    return 0;
}
KDLL_EXPORT int KDLL_RunRepairDevice(DeviceHandle, std::uint8_t) { return 0; }
KDLL_EXPORT unsigned KDLL_GetCurrentProgress(DeviceHandle) { return 0; }
KDLL_EXPORT std::uint8_t KDLL_GetCurrentState(DeviceHandle) { return nv::kdll::kStateFinished; }
KDLL_EXPORT int KDLL_GetBADBlockInfomation(DeviceHandle, std::uint32_t* bad, std::uint32_t* total,
                                           std::uint32_t* divisor) {
    if (bad) *bad = 0;
    if (total) *total = 0;
    if (divisor) *divisor = 0;
    return 0;
}
// No drive, no run: an error bit outside the success mask 0x13.
KDLL_EXPORT std::uint32_t KDLL_GetErrorCode(DeviceHandle) { return 0x100; }
