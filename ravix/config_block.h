// The controller's 512-byte configuration block: the rebuilt block with a
// freshly drawn USB serial number, and the checks on what was read back.
#pragma once

#include "platform/crt_random.h"
#include "ravix/flash_parts.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <span>

namespace nv::ravix {

inline constexpr char kSerialAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
inline constexpr std::size_t kConfigHeadSize = 126;
inline constexpr std::size_t kDescriptorOffset = 353;
inline constexpr std::size_t kSerialOffset = 130;
inline constexpr std::size_t kCheckByteOffset = 146;

using ConfigBlock = std::array<std::uint8_t, 512>;
using ConfigHeadBytes = std::array<std::uint8_t, kConfigHeadSize>;
using FlashDescriptorBytes = std::array<std::uint8_t, kFlashDescriptorSize>;

// The block as written: the controller settings and the flash descriptor
// carried over, a serial of eight characters drawn after seeding rng with
// now, its check byte, one more random byte and the "VXK" mark.
ConfigBlock BuildConfigBlock(const ConfigHeadBytes& head, const FlashDescriptorBytes& descriptor, platform::CrtRandom& rng,
                             std::time_t now);

// Check byte a valid descriptor carries at byte 13.
std::uint8_t DescriptorCheckByte(std::span<const std::uint8_t, kFlashDescriptorSize> d);
bool DescriptorIsValid(std::span<const std::uint8_t, kFlashDescriptorSize> d);

// Makers 3 and 7 are formatted zone by zone.
inline bool PerZoneFormatFor(std::uint8_t maker) { return maker == 3 || maker == 7; }

// True when page 1 as read back begins with the settings that were written.
bool ConfigPageMatches(std::span<const std::uint8_t> page1, const ConfigHeadBytes& head);

}  // namespace nv::ravix
