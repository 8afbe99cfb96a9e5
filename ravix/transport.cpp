#include "ravix/recovery_dialog.h"

#include "shared/byte_order.h"

#include <algorithm>
#include <cstring>

namespace nv::ravix {
namespace {

std::uint32_t pointer_field(const void* p) {
    // The record's pointer field is 32 bits wide; the port receives the
    // buffer itself, so this is for the record's sake only.
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace

std::array<std::uint8_t, 80> BuildPassThroughBlock(const Cdb& cdb, std::uint8_t cdbLength, bool dataIn,
                                                   std::uint32_t transferLength, std::uint32_t timeoutSeconds,
                                                   const void* buffer) {
    std::array<std::uint8_t, 80> b{};
    bytes::put_le16(&b[ptd::kLength], static_cast<std::uint16_t>(ptd::kRecordSize));
    b[ptd::kPathId] = 0;
    b[ptd::kTargetId] = 1;
    b[ptd::kLun] = 0;
    b[ptd::kSenseInfoLength] = 8;
    bytes::put_le32(&b[ptd::kSenseInfoOffset], static_cast<std::uint32_t>(ptd::kSenseArea));
    b[ptd::kCdbLength] = cdbLength;
    b[ptd::kDataIn] = dataIn ? 1 : 0;
    bytes::put_le32(&b[ptd::kDataTransferLength], transferLength);
    bytes::put_le32(&b[ptd::kTimeOutValue], timeoutSeconds);
    bytes::put_le32(&b[ptd::kDataBuffer], pointer_field(buffer));
    std::memcpy(&b[ptd::kCdb], cdb.data(), cdb.size());
    return b;
}

std::array<std::uint8_t, 80> BuildExecSrb(std::uint8_t ha, std::uint8_t target, std::uint8_t lun, bool dataIn,
                                          std::uint32_t bufLen, const void* buffer, const Cdb& cdb,
                                          std::uint32_t eventHandle) {
    std::array<std::uint8_t, 80> s{};
    s[srb::kCmd] = srb::kScExecScsiCmd;
    s[srb::kHaId] = ha;
    s[srb::kTarget] = target;
    s[srb::kLun] = lun;
    s[srb::kFlags] = dataIn ? srb::kFlagsIn : srb::kFlagsOut;
    bytes::put_le32(&s[srb::kBufLen], bufLen);
    bytes::put_le32(&s[srb::kBufPointer], pointer_field(buffer));
    s[srb::kSenseLen] = srb::kSenseLenValue;
    s[srb::kCdbLen] = 10;
    bytes::put_le32(&s[srb::kPostProc], eventHandle);
    // Only ten CDB bytes go out; the rest of the field stays zero.
    std::memcpy(&s[srb::kCdbByte], cdb.data(), 10);
    return s;
}

std::uint32_t OsCodeFor(const platform::OsVersionInfo& v) {
    if (v.major == 4 && v.minor == 10) return 5;
    if (v.major == 4 && v.minor == 90) return 16;
    if (v.major == 5 && v.minor == 0) return 21;
    if (v.major == 5 && v.minor == 1) return 32;
    if (v.major == 6) return 37;
    return 0;
}

RecoveryDialog::RecoveryDialog(platform::ScsiPort& port, platform::Clock& clock, platform::CrtRandom& random)
    : Port(port), Clock(clock), Random(random) {}

RecoveryDialog::~RecoveryDialog() {
    if (AspiLoaded) Port.FreeAspi();
}

bool RecoveryDialog::SelectBackEnd() {
    platform::OsVersionInfo v = QueryVersion();
    if (v.queryFails) {
        // The record stays as zeroed before the call.
        v.major = v.minor = v.build = 0;
        v.platformId = platform::kPlatformWin32s;
    }
    UseAspi = v.platformId == platform::kPlatform9x;
    OsCode = OsCodeFor(v);
    // A 9x version without a known ASPI layer has no way to reach the drive:
    // treated like a missing ASPI library, so the program says so and ends.
    if (OsCode != 5 && OsCode != 16) return !UseAspi;
    if (!Port.LoadAspi()) return false;
    AspiLoaded = true;
    return true;
}

bool RecoveryDialog::SendPassThrough(DeviceRef handle, const Cdb& cdb, std::uint8_t cdbLength, bool dataIn,
                                     std::uint32_t transferLength, std::span<std::uint8_t> buffer,
                                     std::uint32_t timeoutSeconds) {
    if (buffer.size() < transferLength) return false;
    auto block = BuildPassThroughBlock(cdb, cdbLength, dataIn, transferLength, timeoutSeconds, buffer.data());
    if (!Port.PassThroughDirect(handle, block, buffer.first(transferLength))) return false;
    return block[ptd::kScsiStatus] == 0;
}

namespace {

// Sends an SRB and waits for its completion on the injected clock. The wait
// polls with growing steps so that a virtual clock reaches even the
// 49-day limit in a bounded number of steps.
bool send_and_wait(platform::ScsiPort& port, platform::Clock& clock, std::span<std::uint8_t, 80> s,
                   std::span<std::uint8_t> data, std::uint32_t waitMs) {
    auto event = port.CreateCompletionEvent();
    if (!event) return false;
    event->Reset();
    std::uint8_t rc = port.SendAspiCommand(s, data, event.get());
    if (rc == platform::kSsPending) {
        std::uint64_t start = clock.TickMs();
        std::uint32_t step = 1;
        while (!event->IsSet()) {
            std::uint64_t waited = clock.TickMs() - start;
            if (waited >= waitMs) break;
            clock.Sleep(static_cast<std::uint32_t>(std::min<std::uint64_t>(step, waitMs - waited)));
            if (step < 1000) step *= 2;
        }
    }
    return s[srb::kStatus] == platform::kSsComp;
}

}  // namespace

bool RecoveryDialog::AspiExecute(const ScsiRequest& r) {
    std::uint64_t length = static_cast<std::uint64_t>(r.sectorCount) * kBlockSize;
    if (length > 0xFFFFFFFFu || r.buffer.size() < length) return false;
    Cdb cdb{};
    cdb[0] = r.opcode;
    bytes::put_be32(&cdb[2], r.lba);
    cdb[8] = static_cast<std::uint8_t>(r.sectorCount);
    auto s = BuildExecSrb(r.hostAdapter, r.target, r.lun, r.direction == 0, static_cast<std::uint32_t>(length),
                          r.buffer.data(), cdb, 0);
    return send_and_wait(Port, Clock, s, r.buffer.first(static_cast<std::size_t>(length)), kAspiExecuteWaitMs);
}

bool RecoveryDialog::AspiSend(DeviceRef ref, const Cdb& cdb, bool dataIn, std::uint32_t transferLength,
                              std::span<std::uint8_t> buffer) {
    if (buffer.size() < transferLength) return false;
    auto s = BuildExecSrb(AspiHa(ref), AspiTarget(ref), AspiLun(ref), dataIn, transferLength, buffer.data(), cdb, 0);
    return send_and_wait(Port, Clock, s, buffer.first(transferLength), kAspiSendWaitMs);
}

}  // namespace nv::ravix
