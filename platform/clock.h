// Time as the algorithms see it. Fixed waits and progress animations go
// through a Clock so that tests run them on virtual time.
#pragma once

#include <cstdint>
#include <ctime>

namespace nv::platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void Sleep(std::uint32_t ms) = 0;
    // Milliseconds since an arbitrary start, like the system tick count.
    virtual std::uint64_t TickMs() = 0;
    // Seconds since 1970, like time(nullptr).
    virtual std::time_t Now() = 0;
};

class SystemClock final : public Clock {
public:
    void Sleep(std::uint32_t ms) override;
    std::uint64_t TickMs() override;
    std::time_t Now() override;
};

// Sleeping advances the clock at once; nothing waits.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(std::time_t start = 1'700'000'000) : now_ms_(static_cast<std::uint64_t>(start) * 1000) {}
    void Sleep(std::uint32_t ms) override { now_ms_ += ms; slept_ms_ += ms; }
    std::uint64_t TickMs() override { return now_ms_; }
    std::time_t Now() override { return static_cast<std::time_t>(now_ms_ / 1000); }
    void Advance(std::uint64_t ms) { now_ms_ += ms; }
    std::uint64_t SleptMs() const { return slept_ms_; }

private:
    std::uint64_t now_ms_;
    std::uint64_t slept_ms_ = 0;
};

// The process-wide clock: SystemClock, unless a test put another in place.
Clock& DefaultClock();
void SetDefaultClock(Clock* clock);

}  // namespace nv::platform
