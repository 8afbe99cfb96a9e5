// The SCSI seam of the Ravix program: the two ways the system hands a CDB to
// a drive (the pass-through request on an open handle, the ASPI request on a
// host adapter/target/LUN address) and the one neutral command value that the
// back ends below them execute (SG_IO on Linux, the simulated controller).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace nv::platform {

// SCSI_PASS_THROUGH_DIRECT (32-bit layout) and what follows it.
namespace ptd {
constexpr std::size_t kLength = 0;            // u16 = 44
constexpr std::size_t kScsiStatus = 2;
constexpr std::size_t kPathId = 3;
constexpr std::size_t kTargetId = 4;
constexpr std::size_t kLun = 5;
constexpr std::size_t kCdbLength = 6;
constexpr std::size_t kSenseInfoLength = 7;
constexpr std::size_t kDataIn = 8;
constexpr std::size_t kDataTransferLength = 12;  // u32
constexpr std::size_t kTimeOutValue = 16;        // u32, seconds
constexpr std::size_t kDataBuffer = 20;          // u32 pointer field
constexpr std::size_t kSenseInfoOffset = 24;     // u32 = 48
constexpr std::size_t kCdb = 28;                 // 16 bytes
constexpr std::size_t kRecordSize = 44;
constexpr std::size_t kSenseArea = 48;           // 32 bytes
constexpr std::size_t kBlockSize = 80;
}  // namespace ptd

// SRB_ExecSCSICmd (32-bit layout).
namespace srb {
constexpr std::size_t kCmd = 0;
constexpr std::size_t kStatus = 1;
constexpr std::size_t kHaId = 2;
constexpr std::size_t kFlags = 3;
constexpr std::size_t kTarget = 8;
constexpr std::size_t kLun = 9;
constexpr std::size_t kBufLen = 12;      // u32
constexpr std::size_t kBufPointer = 16;  // u32
constexpr std::size_t kSenseLen = 20;
constexpr std::size_t kCdbLen = 21;
constexpr std::size_t kHaStat = 22;
constexpr std::size_t kTargStat = 23;
constexpr std::size_t kPostProc = 24;    // u32
constexpr std::size_t kCdbByte = 48;     // 16 bytes
constexpr std::size_t kSenseArea = 64;   // 16 bytes
constexpr std::size_t kSize = 80;

constexpr std::uint8_t kScExecScsiCmd = 2;
constexpr std::uint8_t kFlagsIn = 0x48;   // SRB_DIR_IN | SRB_EVENT_NOTIFY
constexpr std::uint8_t kFlagsOut = 0x50;  // SRB_DIR_OUT | SRB_EVENT_NOTIFY
constexpr std::uint8_t kSenseLenValue = 14;
}  // namespace srb

// SRB_HAInquiry and SRB_GDEVBlock, as far as the bus scan reads them.
namespace srb {
constexpr std::uint8_t kScHaInquiry = 0;
constexpr std::uint8_t kScGetDevType = 1;
constexpr std::size_t kHaCount = 8;
constexpr std::size_t kHaScsiId = 9;
constexpr std::size_t kHaManagerId = 10;   // 16 bytes
constexpr std::size_t kHaIdentifier = 26;  // 16 bytes
constexpr std::size_t kHaUnique = 42;      // 16 bytes
constexpr std::size_t kHaInquirySize = 60;
constexpr std::size_t kDevType = 10;
constexpr std::size_t kGetDevTypeSize = 12;
}  // namespace srb

enum class DataDirection : std::uint8_t { None, In, Out };

// One command as a back end executes it: CDB, direction, the exact transfer
// (data.size() bytes) and the device-side time-out.
struct ScsiCommand {
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdbLength = 10;
    DataDirection direction = DataDirection::None;
    std::span<std::uint8_t> data;
    std::uint32_t timeoutMs = 10'000;
};

constexpr std::uint8_t kStatusGood = 0x00;
constexpr std::uint8_t kStatusCheckCondition = 0x02;

struct ScsiResult {
    bool delivered = false;     // the request reached the device and came back
    std::uint8_t status = 0xFF; // SCSI status byte; meaningful when delivered
    std::array<std::uint8_t, 32> sense{};
    std::uint8_t senseLength = 0;

    bool Good() const { return delivered && status == kStatusGood; }
};

// Manual-reset completion event of one ASPI command.
class CompletionEvent {
public:
    virtual ~CompletionEvent() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    virtual bool IsSet() = 0;
};

// ASPI status codes the transport reads.
constexpr std::uint8_t kSsPending = 0x00;
constexpr std::uint8_t kSsComp = 0x01;
constexpr std::uint8_t kSsErr = 0x04;
constexpr std::uint8_t kSsNoAdapters = 0xE8;
constexpr std::uint8_t kSsNoDevice = 0x82;
constexpr std::uint8_t kSsInvalidSrb = 0xE0;

constexpr std::uint32_t kInvalidHandle = 0xFFFFFFFF;

// What the transport calls. Records are the system's byte layouts (the
// 80-byte pass-through block, the SRB); the data buffer travels beside the
// record because a 32-bit pointer field cannot carry a 64-bit address.
class ScsiPort {
public:
    virtual ~ScsiPort() = default;

    // IOCTL_SCSI_PASS_THROUGH_DIRECT: block is input and output (ScsiStatus
    // at 2 and the sense area are written back). False when the request did
    // not reach the device (invalid handle, vanished unit, buffer too small).
    virtual bool PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                                   std::span<std::uint8_t> data) = 0;

    // Binding of the ASPI layer ("WNASPI32.DLL"); false when it is not there.
    virtual bool LoadAspi() = 0;
    virtual void FreeAspi() = 0;
    // GetASPI32SupportInfo: status in bits 8..15, host adapter count in 0..7.
    virtual std::uint32_t GetAspiSupportInfo() = 0;
    // SendASPI32Command: returns SS_PENDING when queued (event set on
    // completion) or the final status; SRB_Status (byte 1) is written back.
    virtual std::uint8_t SendAspiCommand(std::span<std::uint8_t> srb, std::span<std::uint8_t> data,
                                         CompletionEvent* event) = 0;
    virtual std::unique_ptr<CompletionEvent> CreateCompletionEvent() = 0;

    // Opens the SCSI unit whose sysfs directory is given (its sg node, read
    // and write); kInvalidHandle on failure.
    virtual std::uint32_t OpenUnit(const std::string& unitSysfsPath) = 0;
    virtual void CloseHandle(std::uint32_t handle) = 0;
};

}  // namespace nv::platform
