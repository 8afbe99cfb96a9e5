// Answers set through the environment (NV_FAKE_COUNT, NV_FAKE_VID,
// NV_FAKE_PID, NV_FAKE_VIDPID_FAILS); FakeProbeCalls tells how often each
// export was called.
#include "shared/records.h"

#include <cstdint>
#include <cstdlib>

#define NV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_count_calls = 0;
int g_vidpid_calls = 0;
const char* env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v ? v : fallback;
}
}  // namespace

NV_EXPORT std::int32_t GetDeviceCount(std::int32_t, nv::VIDPIDINFO*) {
    ++g_count_calls;
    return std::atoi(env("NV_FAKE_COUNT", "0"));
}

#ifndef NV_FAKE_WITHOUT_VIDPID
NV_EXPORT bool GetUSBStorVidPid(std::int32_t, nv::VIDPIDINFO* record) {
    ++g_vidpid_calls;
    if (std::getenv("NV_FAKE_VIDPID_FAILS")) return false;
    record->VID = env("NV_FAKE_VID", "");
    record->PID = env("NV_FAKE_PID", "");
    return true;
}
#endif

NV_EXPORT int FakeProbeCalls(int which) { return which == 0 ? g_count_calls : g_vidpid_calls; }
