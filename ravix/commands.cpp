#include "ravix/recovery_dialog.h"

#include "shared/byte_order.h"

#include <vector>

namespace nv::ravix {
namespace {

// Pass-through time-outs, seconds.
constexpr std::uint32_t kTimeoutTestUnit = 5;
constexpr std::uint32_t kTimeoutShortRead = 10;
constexpr std::uint32_t kTimeoutSectorRead = 150;
constexpr std::uint32_t kTimeoutSectorWrite = 10;
constexpr std::uint32_t kTimeoutSixteen = 30;
constexpr std::uint32_t kTimeoutVendor = 150;

// Data-out buffers go to the port as a mutable span; nothing writes to them.
std::span<std::uint8_t> out_span(std::span<const std::uint8_t> b) {
    return {const_cast<std::uint8_t*>(b.data()), b.size()};
}

// count x 512 as a 32-bit length; nullopt past 4 GiB.
bool blocks_length(std::uint32_t count, std::uint32_t& length) {
    std::uint64_t l = static_cast<std::uint64_t>(count) * kBlockSize;
    if (l > 0xFFFFFFFFu) return false;
    length = static_cast<std::uint32_t>(l);
    return true;
}

Cdb six(std::uint8_t c0, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3, std::uint8_t c4, std::uint8_t c5) {
    return Cdb{c0, c1, c2, c3, c4, c5};
}

}  // namespace

bool RecoveryDialog::TestUnitReady(DeviceRef ref) {
    if (UseAspi) return AspiExecute({AspiHa(ref), AspiTarget(ref), AspiLun(ref), 0x00, 0, 0, 0, {}});
    std::vector<std::uint8_t> buffer(kBlockSize);
    return SendPassThrough(ref, Cdb{}, 10, true, 0, buffer, kTimeoutTestUnit);
}

bool RecoveryDialog::Inquiry(DeviceRef ref, std::span<std::uint8_t> buffer) {
    Cdb cdb = six(0x12, 0, 0, 0, 0x24, 0);
    if (UseAspi) return AspiSend(ref, cdb, true, 36, buffer);
    return SendPassThrough(ref, cdb, 10, true, 36, buffer, kTimeoutShortRead);
}

bool RecoveryDialog::ReadCapacity(DeviceRef ref, std::span<std::uint8_t> buffer) {
    if (UseAspi) return AspiExecute({AspiHa(ref), AspiTarget(ref), AspiLun(ref), 0x25, 1, 0, 0, buffer});
    Cdb cdb{0x25};
    cdb[8] = 1;
    return SendPassThrough(ref, cdb, 10, true, kBlockSize, buffer, kTimeoutShortRead);
}

bool RecoveryDialog::ReadSectors(DeviceRef ref, std::uint32_t count, std::uint32_t lba,
                                 std::span<std::uint8_t> buffer) {
    if (UseAspi) return AspiExecute({AspiHa(ref), AspiTarget(ref), AspiLun(ref), 0x28, count, lba, 0, buffer});
    std::uint32_t length;
    if (!blocks_length(count, length)) return false;
    Cdb cdb{0x28};
    bytes::put_be32(&cdb[2], lba);
    cdb[8] = static_cast<std::uint8_t>(count);
    return SendPassThrough(ref, cdb, 10, true, length, buffer, kTimeoutSectorRead);
}

bool RecoveryDialog::WriteSectors(DeviceRef ref, std::uint32_t count, std::uint32_t lba,
                                  std::span<const std::uint8_t> buffer) {
    if (UseAspi)
        return AspiExecute({AspiHa(ref), AspiTarget(ref), AspiLun(ref), 0x2A, count, lba, 1, out_span(buffer)});
    std::uint8_t l[4];
    bytes::put_be32(l, lba);
    auto n = static_cast<std::uint8_t>(count);
    if (OsCode == 37) return WrappedWriteSectors(ref, 0xFA, 0x2A, l[0], l[1], l[2], l[3], 0x80, 0x00, n, count, buffer);
    std::uint32_t length;
    if (!blocks_length(count, length)) return false;
    Cdb cdb{0x2A, 0, l[0], l[1], l[2], l[3], 0, 0, n};
    return SendPassThrough(ref, cdb, 10, false, length, out_span(buffer), kTimeoutSectorWrite);
}

bool RecoveryDialog::WrappedWriteSectors(DeviceRef ref, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2,
                                         std::uint8_t c3, std::uint8_t c4, std::uint8_t c5, std::uint8_t c6,
                                         std::uint8_t c7, std::uint8_t c8, std::uint32_t count,
                                         std::span<const std::uint8_t> buffer) {
    if (UseAspi) return false;
    std::uint32_t length;
    if (!blocks_length(count, length)) return false;
    Cdb cdb{c0, c1, c2, c3, c4, c5, c6, c7, c8};
    return SendPassThrough(ref, cdb, 16, false, length, out_span(buffer), kTimeoutSixteen);
}

bool RecoveryDialog::VendorReadBlock(DeviceRef ref, std::uint8_t opcode, std::span<std::uint8_t> buffer) {
    if (UseAspi) return AspiExecute({AspiHa(ref), AspiTarget(ref), AspiLun(ref), opcode, 1, 0, 0, buffer});
    return SendPassThrough(ref, Cdb{opcode}, 10, true, kBlockSize, buffer, kTimeoutShortRead);
}

bool RecoveryDialog::VendorWrite(DeviceRef ref, std::uint8_t opcode, std::uint32_t length,
                                 std::span<const std::uint8_t> buffer) {
    if (UseAspi)
        return AspiExecute(
            {AspiHa(ref), AspiTarget(ref), AspiLun(ref), opcode, SectorsFor(length), 0, 1, out_span(buffer)});
    return SendPassThrough(ref, Cdb{opcode}, 10, false, length, out_span(buffer), kTimeoutVendor);
}

bool RecoveryDialog::VendorCommandIn(DeviceRef ref, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2,
                                     std::uint8_t c3, std::uint8_t c4, std::uint8_t c5, std::uint32_t length,
                                     std::span<std::uint8_t> buffer) {
    Cdb cdb = six(c0, c1, c2, c3, c4, c5);
    if (UseAspi) {
        std::uint32_t n = SectorsFor(length), rounded;
        if (!blocks_length(n, rounded)) return false;
        cdb[8] = static_cast<std::uint8_t>(n);
        return AspiSend(ref, cdb, true, rounded, buffer);
    }
    return SendPassThrough(ref, cdb, 10, true, length, buffer, kTimeoutVendor);
}

bool RecoveryDialog::FlashSequenceIn(DeviceRef ref, const Cdb& cdb, std::uint32_t count,
                                     std::span<std::uint8_t> buffer) {
    std::uint32_t length;
    if (!blocks_length(count, length)) return false;
    if (UseAspi) return AspiSend(ref, cdb, true, length, buffer);
    return SendPassThrough(ref, cdb, 16, true, length, buffer, kTimeoutSixteen);
}

bool RecoveryDialog::FlashSequenceOut(DeviceRef ref, const Cdb& cdb, std::uint32_t count,
                                      std::span<const std::uint8_t> buffer) {
    std::uint32_t length;
    if (!blocks_length(count, length)) return false;
    if (UseAspi) return AspiSend(ref, cdb, false, length, out_span(buffer));
    return SendPassThrough(ref, cdb, 16, false, length, out_span(buffer), kTimeoutSixteen);
}

// --- helpers under the vendor command names --------------------------------

namespace {
std::vector<std::uint8_t> scratch() { return std::vector<std::uint8_t>(kBlockSize); }
}  // namespace

bool RecoveryDialog::GetDeviceInfo(DeviceRef ref, std::span<std::uint8_t> b) { return VendorReadBlock(ref, op::kGetDeviceInfo, b); }
bool RecoveryDialog::GetDeviceStatus(DeviceRef ref, std::span<std::uint8_t> b) { return VendorReadBlock(ref, op::kGetDeviceStatus, b); }
bool RecoveryDialog::GetFlashLayout(DeviceRef ref, std::span<std::uint8_t> b) { return VendorReadBlock(ref, op::kGetFlashLayout, b); }
bool RecoveryDialog::ScanZone(DeviceRef ref, std::uint8_t chip, std::uint8_t zone, std::span<std::uint8_t> b) {
    return VendorCommandIn(ref, op::kScanZone, chip, zone, 0, 0, 0, kBlockSize, b);
}
bool RecoveryDialog::ReadConfigBlock(DeviceRef ref, std::span<std::uint8_t> b) { return VendorReadBlock(ref, op::kReadConfigBlock, b); }
bool RecoveryDialog::WriteConfigBlock(DeviceRef ref, std::span<const std::uint8_t> b) {
    return VendorWrite(ref, op::kWriteConfigBlock, kBlockSize, b);
}
bool RecoveryDialog::ReadConfigPage(DeviceRef ref, std::uint8_t page, std::span<std::uint8_t> b) {
    return VendorCommandIn(ref, op::kVendor9C, 0x09, 0x00, 0x00, page, 0x00, kBlockSize, b);
}
bool RecoveryDialog::Vendor73(DeviceRef ref) { auto b = scratch(); return VendorReadBlock(ref, op::kVendor73, b); }
bool RecoveryDialog::Vendor74(DeviceRef ref, std::span<const std::uint8_t> page2) {
    return VendorWrite(ref, op::kVendor74, kBlockSize, page2);
}
bool RecoveryDialog::Vendor83(DeviceRef ref, std::uint8_t n) {
    auto b = scratch();
    return VendorCommandIn(ref, op::kVendor83, 0x51, n, 0, 0, 0, kBlockSize, b);
}
bool RecoveryDialog::Vendor96(DeviceRef ref) { auto b = scratch(); return VendorReadBlock(ref, op::kVendor96, b); }
bool RecoveryDialog::Vendor98(DeviceRef ref, std::uint8_t chip, std::uint8_t zone, std::uint8_t block, std::uint8_t mark) {
    auto b = scratch();
    return VendorCommandIn(ref, op::kVendor98, chip, zone, block, mark, 0, kBlockSize, b);
}
bool RecoveryDialog::Vendor99(DeviceRef ref, std::span<const std::uint8_t> p) { return VendorWrite(ref, op::kVendor99, kBlockSize, p); }
bool RecoveryDialog::Vendor9B(DeviceRef ref) { auto b = scratch(); return VendorWrite(ref, op::kVendor9B, kBlockSize, b); }
bool RecoveryDialog::Vendor9C(DeviceRef ref) {
    auto b = scratch();
    return VendorCommandIn(ref, op::kVendor9C, 0x00, 0x03, 0xFF, 0, 0, kBlockSize, b);
}
bool RecoveryDialog::VendorD2(DeviceRef ref) { return VendorCommandIn(ref, op::kVendorD2, 0, 0, 0, 0, 0, 0, {}); }
bool RecoveryDialog::VendorD3(DeviceRef ref) { return VendorCommandIn(ref, op::kVendorD3, 0, 0, 0, 0, 0, 0, {}); }
bool RecoveryDialog::VendorF5(DeviceRef ref, std::span<const std::uint8_t> t) { return VendorWrite(ref, op::kVendorF5, kBlockSize, t); }
bool RecoveryDialog::VendorF8(DeviceRef ref) {
    auto b = scratch();
    return VendorCommandIn(ref, op::kVendorF8, 0x51, 0xFF, 0, 0, 0, kBlockSize, b);
}
bool RecoveryDialog::VendorF8Block(DeviceRef ref) { auto b = scratch(); return VendorReadBlock(ref, op::kVendorF8, b); }
bool RecoveryDialog::VendorFA(DeviceRef ref, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3) {
    auto b = scratch();
    return VendorCommandIn(ref, op::kVendorFA, c1, c2, c3, 0, 0, kBlockSize, b);
}
bool RecoveryDialog::FlashReadId(DeviceRef ref, std::uint8_t chip, std::span<std::uint8_t> b) {
    return FlashSequenceIn(ref, FlashIdCdb(chip), 1, b);
}

// --- reply decoders ---------------------------------------------------------

DeviceInfo DecodeDeviceInfo(std::span<const std::uint8_t> r) {
    DeviceInfo d;
    if (r.size() < kBlockSize) return d;
    d.totalSectors = bytes::be32(r, 0);
    d.controllerCode = r[4];
    d.revision = r[5];
    d.firstAreaSectors = bytes::le32(r, 7);
    d.formatSectors = bytes::le32(r, 12);
    d.formatFlag = r[30];
    d.moduleByte36 = r[36];
    d.moduleSelect41 = r[41];
    d.moduleByte42 = r[42];
    d.moduleSkip44 = r[44];
    return d;
}

DeviceStatus DecodeDeviceStatus(std::span<const std::uint8_t> r) {
    if (r.size() < kBlockSize) return {};
    return {r[126], r[128]};
}

FlashLayout DecodeFlashLayout(std::span<const std::uint8_t> r) {
    FlashLayout f;
    if (r.size() < kBlockSize) return f;
    for (std::size_t i = 0; i < r.size() && r[i] != 0xAA; ++i) f.chips.push_back(r[i]);
    f.chipCount = static_cast<std::uint32_t>(f.chips.size());
    f.zoneGroups = r[17];
    f.blockCount = static_cast<std::uint16_t>((r[19] << 8) | r[20]);
    return f;
}

ZoneScan DecodeZoneScan(std::span<const std::uint8_t> r) {
    ZoneScan z;
    if (r.size() < kBlockSize) return z;
    if (r[0] == 0x55 || r[0] == 0xAA || r[0] == 0xFF) {
        z.wholeZoneBad = true;
        return z;
    }
    for (std::size_t i = 1; i <= 499; ++i) {
        if (r[i] == 0xAA && r[i + 1] == 0x55) break;
        z.badBlocks.push_back(r[i]);
    }
    return z;
}

Cdb FlashIdCdb(std::uint8_t chip) {
    return Cdb{0xD0, chip, 0xF0, 0x90, 0xF1, 0x01, 0x00, 0xF2, 0x04};
}

}  // namespace nv::ravix
