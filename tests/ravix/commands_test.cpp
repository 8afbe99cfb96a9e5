// Every wrapper on both back ends: what reaches the port, byte for byte.
#include "ravix/recovery_dialog.h"
#include "recording_port.h"
#include "shared/byte_order.h"

#include <gtest/gtest.h>

#include <functional>

namespace nv::ravix {
namespace {

using Call = std::function<bool(RecoveryDialog&, DeviceRef, std::span<std::uint8_t>)>;

struct Fixture {
    test::RecordingPort port;
    platform::VirtualClock clock;
    platform::CrtRandom random;
    RecoveryDialog dialog{port, clock, random};
};

const Cdb kFlashOut{0xD0, 0x02, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0x07, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE};

struct PassThroughCase {
    const char* name;
    std::uint32_t osCode;
    Call call;
    std::vector<std::uint8_t> cdb;  // the CDB bytes, the rest must be zero
    std::uint8_t cdbLength;
    bool dataIn;
    std::uint32_t transfer;
    std::uint32_t timeout;
};

std::vector<PassThroughCase> pass_through_cases() {
    return {
        {"TestUnitReady", 32, [](auto& d, auto r, auto) { return d.TestUnitReady(r); }, {0x00}, 10, true, 0, 5},
        {"Inquiry", 32, [](auto& d, auto r, auto b) { return d.Inquiry(r, b); }, {0x12, 0, 0, 0, 0x24}, 10, true, 36, 10},
        {"ReadCapacity", 32, [](auto& d, auto r, auto b) { return d.ReadCapacity(r, b); },
         {0x25, 0, 0, 0, 0, 0, 0, 0, 0x01}, 10, true, 512, 10},
        {"ReadSectors", 32, [](auto& d, auto r, auto b) { return d.ReadSectors(r, 8, 0x01020304, b); },
         {0x28, 0, 0x01, 0x02, 0x03, 0x04, 0, 0, 0x08}, 10, true, 4096, 150},
        {"ReadSectors 300", 32, [](auto& d, auto r, auto b) { return d.ReadSectors(r, 300, 7, b); },
         {0x28, 0, 0, 0, 0, 7, 0, 0, 0x2C}, 10, true, 300 * 512, 150},
        {"WriteSectors", 32, [](auto& d, auto r, auto b) { return d.WriteSectors(r, 4, 0x10, b); },
         {0x2A, 0, 0, 0, 0, 0x10, 0, 0, 0x04}, 10, false, 2048, 10},
        {"WriteSectors OsCode 37", 37, [](auto& d, auto r, auto b) { return d.WriteSectors(r, 256, 0xABCDEF, b); },
         {0xFA, 0x2A, 0x00, 0xAB, 0xCD, 0xEF, 0x80, 0x00, 0x00}, 16, false, 256 * 512, 30},
        {"WriteSectors OsCode 21", 21, [](auto& d, auto r, auto b) { return d.WriteSectors(r, 1, 2, b); },
         {0x2A, 0, 0, 0, 0, 2, 0, 0, 1}, 10, false, 512, 10},
        {"WrappedWriteSectors", 37,
         [](auto& d, auto r, auto b) { return d.WrappedWriteSectors(r, 0xFA, 0x2A, 0, 0, 1, 0, 0x80, 0, 2, 2, b); },
         {0xFA, 0x2A, 0, 0, 1, 0, 0x80, 0, 2}, 16, false, 1024, 30},
        {"VendorReadBlock", 32, [](auto& d, auto r, auto b) { return d.VendorReadBlock(r, 0x9A, b); }, {0x9A}, 10,
         true, 512, 10},
        {"VendorWrite 512", 32, [](auto& d, auto r, auto b) { return d.VendorWrite(r, 0x81, 512, b); }, {0x81}, 10,
         false, 512, 150},
        {"VendorWrite 100", 32, [](auto& d, auto r, auto b) { return d.VendorWrite(r, 0x99, 100, b); }, {0x99}, 10,
         false, 100, 150},
        {"VendorCommandIn", 32,
         [](auto& d, auto r, auto b) { return d.VendorCommandIn(r, 0x95, 1, 2, 3, 4, 5, 512, b); },
         {0x95, 1, 2, 3, 4, 5}, 10, true, 512, 150},
        {"VendorCommandIn 100", 32,
         [](auto& d, auto r, auto b) { return d.VendorCommandIn(r, 0x9C, 9, 0, 0, 1, 0, 100, b); },
         {0x9C, 9, 0, 0, 1}, 10, true, 100, 150},
        {"VendorCommandIn 0", 32, [](auto& d, auto r, auto) { return d.VendorD2(r); }, {0xD2}, 10, true, 0, 150},
        {"FlashSequenceIn", 32, [](auto& d, auto r, auto b) { return d.FlashReadId(r, 2, b); },
         {0xD0, 0x02, 0xF0, 0x90, 0xF1, 0x01, 0x00, 0xF2, 0x04}, 16, true, 512, 30},
        {"FlashSequenceOut", 32, [](auto& d, auto r, auto b) { return d.FlashSequenceOut(r, kFlashOut, 4, b); },
         {kFlashOut.begin(), kFlashOut.end()}, 16, false, 2048, 30},
    };
}

TEST(WrappersOnPassThrough, SendTheirBlockByteForByte) {
    for (const auto& c : pass_through_cases()) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.dialog.OsCode = c.osCode;
        std::vector<std::uint8_t> buffer(300 * 512);
        ASSERT_TRUE(c.call(f.dialog, 0x1234, buffer));
        ASSERT_EQ(f.port.sent.size(), 1u);
        const auto& b = f.port.sent[0].record;
        EXPECT_EQ(f.port.sent[0].handle, 0x1234u);
        Cdb want{};
        std::copy(c.cdb.begin(), c.cdb.end(), want.begin());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), b.begin() + ptd::kCdb)) << "CDB";
        EXPECT_EQ(b[ptd::kCdbLength], c.cdbLength);
        EXPECT_EQ(b[ptd::kDataIn], c.dataIn ? 1 : 0);
        EXPECT_EQ(bytes::le32(&b[ptd::kDataTransferLength]), c.transfer);
        EXPECT_EQ(f.port.sent[0].dataSize, c.transfer);
        EXPECT_EQ(bytes::le32(&b[ptd::kTimeOutValue]), c.timeout);
        EXPECT_EQ(b[ptd::kTargetId], 1);
        EXPECT_EQ(b[ptd::kSenseInfoLength], 8);
        EXPECT_EQ(bytes::le32(&b[ptd::kSenseInfoOffset]), 48u);
    }
}

struct AspiCase {
    const char* name;
    Call call;
    std::vector<std::uint8_t> cdb;  // the ten CDB bytes that go out
    std::uint8_t flags;
    std::uint32_t bufLen;
    std::size_t bufferSize;  // what the caller hands over
};

std::vector<AspiCase> aspi_cases() {
    return {
        {"TestUnitReady", [](auto& d, auto r, auto) { return d.TestUnitReady(r); }, {0x00}, 0x48, 0, 512},
        {"Inquiry", [](auto& d, auto r, auto b) { return d.Inquiry(r, b); }, {0x12, 0, 0, 0, 0x24}, 0x48, 36, 36},
        {"ReadCapacity", [](auto& d, auto r, auto b) { return d.ReadCapacity(r, b); },
         {0x25, 0, 0, 0, 0, 0, 0, 0, 1}, 0x48, 512, 512},
        {"ReadSectors", [](auto& d, auto r, auto b) { return d.ReadSectors(r, 8, 0x01020304, b); },
         {0x28, 0, 1, 2, 3, 4, 0, 0, 8}, 0x48, 4096, 4096},
        {"ReadSectors 256", [](auto& d, auto r, auto b) { return d.ReadSectors(r, 256, 9, b); },
         {0x28, 0, 0, 0, 0, 9, 0, 0, 0}, 0x48, 256 * 512, 256 * 512},
        {"WriteSectors", [](auto& d, auto r, auto b) { return d.WriteSectors(r, 4, 0x10, b); },
         {0x2A, 0, 0, 0, 0, 0x10, 0, 0, 4}, 0x50, 2048, 2048},
        {"VendorReadBlock", [](auto& d, auto r, auto b) { return d.VendorReadBlock(r, 0x75, b); },
         {0x75, 0, 0, 0, 0, 0, 0, 0, 1}, 0x48, 512, 512},
        {"VendorWrite 512", [](auto& d, auto r, auto b) { return d.VendorWrite(r, 0x81, 512, b); },
         {0x81, 0, 0, 0, 0, 0, 0, 0, 1}, 0x50, 512, 512},
        {"VendorWrite 600", [](auto& d, auto r, auto b) { return d.VendorWrite(r, 0x99, 600, b); },
         {0x99, 0, 0, 0, 0, 0, 0, 0, 2}, 0x50, 1024, 1024},
        {"VendorCommandIn 100", [](auto& d, auto r, auto b) { return d.VendorCommandIn(r, 0x9C, 9, 0, 0, 1, 0, 100, b); },
         {0x9C, 9, 0, 0, 1, 0, 0, 0, 1}, 0x48, 512, 512},
        {"VendorCommandIn 0", [](auto& d, auto r, auto) { return d.VendorD3(r); }, {0xD3}, 0x48, 0, 0},
        {"FlashSequenceIn", [](auto& d, auto r, auto b) { return d.FlashReadId(r, 1, b); },
         {0xD0, 0x01, 0xF0, 0x90, 0xF1, 0x01, 0x00, 0xF2, 0x04, 0x00}, 0x48, 512, 512},
        {"FlashSequenceOut cut to ten", [](auto& d, auto r, auto b) { return d.FlashSequenceOut(r, kFlashOut, 2, b); },
         {kFlashOut.begin(), kFlashOut.begin() + 10}, 0x50, 1024, 1024},
    };
}

TEST(WrappersOnAspi, SendTheirSrbByteForByte) {
    for (const auto& c : aspi_cases()) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.dialog.UseAspi = true;
        f.dialog.OsCode = 5;
        std::vector<std::uint8_t> buffer(c.bufferSize);
        ASSERT_TRUE(c.call(f.dialog, AspiAddress(1, 2, 3), buffer));
        ASSERT_EQ(f.port.sent.size(), 1u);
        const auto& s = f.port.sent[0].record;
        ASSERT_EQ(s.size(), 80u);
        std::array<std::uint8_t, 16> want{};
        std::copy(c.cdb.begin(), c.cdb.end(), want.begin());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), s.begin() + srb::kCdbByte)) << "CDB";
        EXPECT_EQ(s[srb::kCmd], 2);
        EXPECT_EQ(s[srb::kHaId], 1);
        EXPECT_EQ(s[srb::kTarget], 2);
        EXPECT_EQ(s[srb::kLun], 3);
        EXPECT_EQ(s[srb::kFlags], c.flags);
        EXPECT_EQ(bytes::le32(&s[srb::kBufLen]), c.bufLen);
        EXPECT_EQ(f.port.sent[0].dataSize, c.bufLen);
        EXPECT_EQ(s[srb::kSenseLen], 14);
        EXPECT_EQ(s[srb::kCdbLen], 10);
    }
}

TEST(WrappersOnAspi, WrappedWriteIsNeverSent) {
    Fixture f;
    f.dialog.UseAspi = true;
    std::vector<std::uint8_t> buffer(512);
    EXPECT_FALSE(f.dialog.WrappedWriteSectors(AspiAddress(0, 0, 0), 0xFA, 0x2A, 0, 0, 0, 0, 0x80, 0, 1, 1, buffer));
    EXPECT_TRUE(f.port.sent.empty());
}

// The caller's buffer must hold the rounded transfer; a short one is refused
// before anything reaches the drive instead of being overrun.
TEST(Wrappers, ShortBuffersAreRefusedUnsent) {
    struct Case {
        const char* name;
        bool aspi;
        Call call;
        std::size_t size;
    };
    std::vector<Case> cases = {
        {"vendor read of 100 on ASPI", true,
         [](auto& d, auto r, auto b) { return d.VendorCommandIn(r, 0x9C, 9, 0, 0, 1, 0, 100, b); }, 100},
        {"read of 2 sectors on ASPI", true, [](auto& d, auto r, auto b) { return d.ReadSectors(r, 2, 0, b); }, 1000},
        {"read of 2 sectors on pass-through", false, [](auto& d, auto r, auto b) { return d.ReadSectors(r, 2, 0, b); },
         1000},
        {"inquiry on pass-through", false, [](auto& d, auto r, auto b) { return d.Inquiry(r, b); }, 35},
        {"vendor write of 600 on ASPI", true, [](auto& d, auto r, auto b) { return d.VendorWrite(r, 0x99, 600, b); },
         600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.dialog.UseAspi = c.aspi;
        std::vector<std::uint8_t> buffer(c.size);
        EXPECT_FALSE(c.call(f.dialog, c.aspi ? AspiAddress(0, 0, 0) : 0x100, buffer));
        EXPECT_TRUE(f.port.sent.empty());
    }
}

TEST(VendorHelpers, CarryTheirCdbs) {
    struct Case {
        const char* name;
        std::function<bool(RecoveryDialog&)> call;
        std::vector<std::uint8_t> cdb;
        bool dataIn;
    };
    std::array<std::uint8_t, 512> block{};
    std::vector<Case> cases = {
        {"Vendor83", [](auto& d) { return d.Vendor83(0x100, 7); }, {0x83, 0x51, 7}, true},
        {"Vendor98", [](auto& d) { return d.Vendor98(0x100, 1, 2, 3, 0x15); }, {0x98, 1, 2, 3, 0x15}, true},
        {"Vendor9C", [](auto& d) { return d.Vendor9C(0x100); }, {0x9C, 0, 3, 0xFF}, true},
        {"ReadConfigPage", [&](auto& d) { return d.ReadConfigPage(0x100, 2, block); }, {0x9C, 9, 0, 0, 2}, true},
        {"ScanZone", [&](auto& d) { return d.ScanZone(0x100, 1, 9, block); }, {0x95, 1, 9}, true},
        {"VendorF8", [](auto& d) { return d.VendorF8(0x100); }, {0xF8, 0x51, 0xFF}, true},
        {"VendorF8Block", [](auto& d) { return d.VendorF8Block(0x100); }, {0xF8}, true},
        {"VendorFA", [](auto& d) { return d.VendorFA(0x100, 0x80, 0, 0x10); }, {0xFA, 0x80, 0, 0x10}, true},
        {"Vendor9B", [](auto& d) { return d.Vendor9B(0x100); }, {0x9B}, false},
        {"VendorF5", [&](auto& d) { return d.VendorF5(0x100, block); }, {0xF5}, false},
        {"Vendor74", [&](auto& d) { return d.Vendor74(0x100, block); }, {0x74}, false},
        {"WriteConfigBlock", [&](auto& d) { return d.WriteConfigBlock(0x100, block); }, {0x81}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        ASSERT_TRUE(c.call(f.dialog));
        ASSERT_EQ(f.port.sent.size(), 1u);
        const auto& b = f.port.sent[0].record;
        Cdb want{};
        std::copy(c.cdb.begin(), c.cdb.end(), want.begin());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), b.begin() + ptd::kCdb));
        EXPECT_EQ(b[ptd::kDataIn], c.dataIn ? 1 : 0);
    }
}

}  // namespace
}  // namespace nv::ravix
