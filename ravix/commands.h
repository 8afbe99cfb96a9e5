// Replies of the Ravix vendor commands, decoded as far as the program reads
// them. Every decoder takes the 512-byte reply as it came back.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace nv::ravix {

// Vendor opcodes.
namespace op {
constexpr std::uint8_t kVendor73 = 0x73, kVendor74 = 0x74, kGetDeviceStatus = 0x75;
constexpr std::uint8_t kWriteConfigBlock = 0x81, kReadConfigBlock = 0x82, kVendor83 = 0x83;
constexpr std::uint8_t kGetFlashLayout = 0x93, kScanZone = 0x95, kVendor96 = 0x96;
constexpr std::uint8_t kVendor98 = 0x98, kVendor99 = 0x99, kGetDeviceInfo = 0x9A, kVendor9B = 0x9B;
constexpr std::uint8_t kVendor9C = 0x9C, kFlashSequence = 0xD0, kVendorD2 = 0xD2, kVendorD3 = 0xD3;
constexpr std::uint8_t kVendorF5 = 0xF5, kVendorF8 = 0xF8, kVendorFA = 0xFA;
}  // namespace op

struct DeviceInfo {
    std::uint32_t totalSectors = 0;     // bytes 0..3, big-endian
    std::uint8_t controllerCode = 0;    // byte 4: AAh, ABh, AEh
    std::uint8_t revision = 0;          // byte 5
    std::uint32_t firstAreaSectors = 0; // bytes 7..10, 0 when undivided
    std::uint32_t formatSectors = 0;    // bytes 12..15
    std::uint8_t formatFlag = 0;        // byte 30
    std::uint8_t moduleByte36 = 0, moduleSelect41 = 0, moduleByte42 = 0, moduleSkip44 = 0;
};
DeviceInfo DecodeDeviceInfo(std::span<const std::uint8_t> reply);

constexpr std::uint8_t kModeNeedsVendor9B = 0x40;
constexpr std::uint8_t kModeNormal = 0x20;
constexpr std::uint8_t kStateReady = 0xC0;
constexpr std::uint8_t kStateNotReadyA0 = 0xA0;
constexpr std::uint8_t kStateNotReadyB0 = 0xB0;

struct DeviceStatus {
    std::uint8_t mode = 0;   // byte 126
    std::uint8_t state = 0;  // byte 128
};
DeviceStatus DecodeDeviceStatus(std::span<const std::uint8_t> reply);

struct FlashLayout {
    std::uint32_t chipCount = 0;      // entries before the first AAh
    std::vector<std::uint8_t> chips;  // one entry byte per chip
    std::uint8_t zoneGroups = 0;      // byte 17; each chip has 4 x zoneGroups zones
    std::uint16_t blockCount = 0;     // bytes 19 (high) and 20 (low)
    std::uint32_t ZonesPerChip() const { return 4u * zoneGroups; }
};
FlashLayout DecodeFlashLayout(std::span<const std::uint8_t> reply);

struct ZoneScan {
    bool wholeZoneBad = false;          // byte 0 is 55h, AAh or FFh
    std::vector<std::uint8_t> badBlocks;  // block numbers within the zone
};
// The list ends at the pair AAh 55h or, without it, at byte 499.
ZoneScan DecodeZoneScan(std::span<const std::uint8_t> reply);

// CDB of the flash identification form for chip c.
std::array<std::uint8_t, 16> FlashIdCdb(std::uint8_t chip);

}  // namespace nv::ravix
