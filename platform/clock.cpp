#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace nv::platform {

void SystemClock::Sleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::uint64_t SystemClock::TickMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::time_t SystemClock::Now() { return std::time(nullptr); }

namespace {
SystemClock g_system_clock;
Clock* g_clock = &g_system_clock;
}  // namespace

Clock& DefaultClock() { return *g_clock; }
void SetDefaultClock(Clock* clock) { g_clock = clock ? clock : &g_system_clock; }

}  // namespace nv::platform
