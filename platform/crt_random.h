// The C runtime's random generator of the original platform, reproduced so
// that serial numbers and volume serials drawn from it match for a seed.
#pragma once

#include <cstdint>

namespace nv::platform {

class CrtRandom {
public:
    void srand(std::uint32_t seed) { seed_ = seed; }
    // 0..32767
    int rand() {
        seed_ = seed_ * 214013u + 2531011u;
        return static_cast<int>((seed_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t seed_ = 1;
};

}  // namespace nv::platform
