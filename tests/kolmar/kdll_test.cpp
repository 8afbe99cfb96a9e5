// The first KDLL.so: all 13 exports are there by plain name and tell of no
// drive, so the dialog built on them finds nothing to repair.
#include "kdll/kdll_exports.h"
#include "platform/library.h"

#include <gtest/gtest.h>

namespace nv::kdll {
namespace {

TEST(Kdll, ExportsEveryFunctionAndReportsNoDrive) {
    auto lib = platform::Library::Load(std::string(NV_BIN_DIR) + "/KDLL.dll");
    ASSERT_TRUE(lib) << platform::Library::LastLoadError();
    for (const char* name : {"KDLL_CreateCUSBDevice", "KDLL_DeviceExist", "KDLL_GetNumberOfDrive",
                             "KDLL_SetCurrentDriveNumber", "KDLL_GetDeviceString", "KDLL_GetFwVersion",
                             "KDLL_GetUpdateFWFile", "KDLL_GetChipID", "KDLL_RunRepairDevice",
                             "KDLL_GetCurrentProgress", "KDLL_GetCurrentState", "KDLL_GetBADBlockInfomation",
                             "KDLL_GetErrorCode"})
        EXPECT_NE(lib->Symbol(name), nullptr) << name;

    DeviceHandle h = lib->Function<CreateCUSBDeviceFn>("KDLL_CreateCUSBDevice")();
    EXPECT_EQ(lib->Function<DeviceExistFn>("KDLL_DeviceExist")(h), 0);
    char text[256] = "stale";
    lib->Function<GetDeviceStringFn>("KDLL_GetDeviceString")(h, text);
    EXPECT_STREQ(text, "");
    std::uint16_t chip = 7, ver = 7;
    lib->Function<GetChipIDFn>("KDLL_GetChipID")(h, &chip, &ver);
    EXPECT_EQ(chip, 0);
    EXPECT_EQ(ver, 0);
    EXPECT_EQ(lib->Function<GetCurrentStateFn>("KDLL_GetCurrentState")(h), kStateFinished);
    // Nothing was repaired: the code must not read as success.
    EXPECT_NE(lib->Function<GetErrorCodeFn>("KDLL_GetErrorCode")(h) & ~0x13u, 0u);
}

}  // namespace
}  // namespace nv::kdll
