// The partition sector and the empty FAT volume that FormatVolume writes,
// computed without a device: the layout from the sector count, the sector
// contents, and the exact sequence of writes. FormatVolume runs the sequence
// through the drive's commands; tests and the benchmark run it into an image.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace nv::ravix {

enum class FatType { Fat12, Fat16, Fat32 };

// Error codes of FormatVolume.
inline constexpr std::uint32_t kErrPartitionSector = 208;
inline constexpr std::uint32_t kErrBootSector = 210;
inline constexpr std::uint32_t kErrClearOrFat = 230;
inline constexpr std::uint32_t kErrRootDirectory = 231;

// Below this count the area cleared at the start would run past the volume.
inline constexpr std::int32_t kMinVolumeSectors = 128;

struct VolumeLayout {
    FatType type = FatType::Fat12;
    std::uint32_t unit = 0;            // u: slot the volume goes to
    std::uint32_t start = 0;           // S
    std::uint32_t sectors = 0;         // N
    std::uint32_t volumeStart = 0;     // V: S + 32 behind a partition sector, else S
    std::uint32_t clearWrites = 0;     // 128-sector writes that clear the start of the area
    std::uint32_t reservedSectors = 0;
    std::uint32_t sectorsPerFat = 0;   // F
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t rootStart = 0;       // first sector of the root directory
    std::uint32_t rootWrites = 4;      // 8-sector writes of the root directory
    std::uint8_t partitionType = 0;
    std::uint32_t volumeSectors() const { return sectors - 33; }
    // Data clusters as a FAT checker counts them.
    std::uint32_t dataClusters() const;
};

// The layout for N sectors, or nothing when N cannot hold a volume.
std::optional<VolumeLayout> ComputeVolumeLayout(std::uint32_t u, std::uint32_t S, std::int32_t N);

// Sectors per FAT of a FAT32 volume of N sectors with the given cluster size:
// the step of the size table for N, or the next larger step where that one
// cannot address every cluster.
std::uint32_t Fat32SectorsPerFat(std::uint32_t N, std::uint32_t sectorsPerCluster);

// Serial from one draw r of the seeded generator: bytes 80h + u, 93h, r.
std::uint32_t VolumeSerial(int r, std::uint32_t u);

using Sector = std::array<std::uint8_t, 512>;

Sector BuildPartitionSector(const VolumeLayout& l);
Sector BuildBootSector(const VolumeLayout& l, std::uint32_t serial);
Sector BuildFsInfoSector();
Sector BuildBootTailSector();  // the third FAT32 boot sector: only the signature
Sector BuildFatHead(FatType type);

// One step of the write sequence.
enum class SectorContent { Zero, PartitionSector, BootSector, FsInfo, BootTail, FatHead };
struct VolumeStep {
    enum class Kind { Write, TestUnitReady } kind = Kind::Write;
    std::uint32_t slot = 0;        // unit slot the command goes to
    std::uint32_t lba = 0;
    std::uint32_t count = 0;       // sectors; 1, 4, 8, 17, 33, 65 or 128
    SectorContent first = SectorContent::Zero;  // content of the first sector, the rest zero
    std::uint32_t errorCode = 0;   // result when this write fails; 0: result not checked
};

std::vector<VolumeStep> PlanVolumeWrites(const VolumeLayout& l);

// Runs the plan. write(slot, lba, count, data) and testUnitReady(slot) are
// the drive's commands; the result is 0 or the error code of the first
// checked write that failed.
struct VolumeIo {
    std::function<bool(std::uint32_t slot, std::uint32_t lba, std::uint32_t count, const std::uint8_t* data)> write;
    std::function<void(std::uint32_t slot)> testUnitReady;
};
std::uint32_t WriteVolume(const VolumeLayout& l, std::uint32_t serial, const VolumeIo& io);

}  // namespace nv::ravix
