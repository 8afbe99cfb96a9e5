// Records of the command transport, built as bytes: the 80-byte
// pass-through request block and the ASPI SRB_ExecSCSICmd.
#pragma once

#include "platform/scsi.h"
#include "platform/version.h"

#include <array>
#include <cstdint>
#include <span>

namespace nv::ravix {

// One unit of the drive: an open handle (pass-through) or a packed ASPI
// address (byte 0 host adapter, byte 1 target, byte 2 LUN).
using DeviceRef = std::uint32_t;
constexpr DeviceRef kNoHandle = 0xFFFFFFFF;

constexpr DeviceRef AspiAddress(std::uint8_t ha, std::uint8_t target, std::uint8_t lun) {
    return static_cast<DeviceRef>(ha) | (static_cast<DeviceRef>(target) << 8) | (static_cast<DeviceRef>(lun) << 16);
}
constexpr std::uint8_t AspiHa(DeviceRef r) { return static_cast<std::uint8_t>(r); }
constexpr std::uint8_t AspiTarget(DeviceRef r) { return static_cast<std::uint8_t>(r >> 8); }
constexpr std::uint8_t AspiLun(DeviceRef r) { return static_cast<std::uint8_t>(r >> 16); }
// "No unit": handle -1, or the three address bytes FFh.
constexpr bool IsNoUnit(DeviceRef r, bool useAspi) {
    return useAspi ? (r & 0x00FFFFFFu) == 0x00FFFFFFu : r == kNoHandle;
}
constexpr DeviceRef kNoAspiUnit = 0x00FFFFFF;

constexpr std::uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
constexpr std::uint32_t kBlockSize = 512;

namespace ptd = platform::ptd;
namespace srb = platform::srb;

constexpr std::uint32_t kAspiExecuteWaitMs = 0xFFFFFC18;
constexpr std::uint32_t kAspiSendWaitMs = 0xFFFFFF38;

using Cdb = std::array<std::uint8_t, 16>;

// The filled request block (before the call).
std::array<std::uint8_t, 80> BuildPassThroughBlock(const Cdb& cdb, std::uint8_t cdbLength, bool dataIn,
                                                   std::uint32_t transferLength, std::uint32_t timeoutSeconds,
                                                   const void* buffer);

// The filled SRB (before the call); SRB_CDBLen is always 10.
std::array<std::uint8_t, 80> BuildExecSrb(std::uint8_t ha, std::uint8_t target, std::uint8_t lun, bool dataIn,
                                          std::uint32_t bufLen, const void* buffer, const Cdb& cdb,
                                          std::uint32_t eventHandle);

// Sectors an ASPI transfer of length bytes takes: ceil(length / 512).
constexpr std::uint32_t SectorsFor(std::uint32_t length) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(length) + kBlockSize - 1) / kBlockSize);
}

// Windows version code: 5 = 4.10, 16 = 4.90, 21 = 5.0, 32 = 5.1, 37 = 6.x, else 0.
std::uint32_t OsCodeFor(const platform::OsVersionInfo& v);

}  // namespace nv::ravix
