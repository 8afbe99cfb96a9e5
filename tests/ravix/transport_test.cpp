#include "platform/version.h"
#include "ravix/recovery_dialog.h"
#include "recording_port.h"
#include "shared/byte_order.h"

#include <gtest/gtest.h>

namespace nv::ravix {
namespace {

struct Field {
    std::size_t offset, width;
    std::uint32_t value;
};

std::uint32_t read_le(const std::array<std::uint8_t, 80>& b, const Field& f) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < f.width; ++i) v |= static_cast<std::uint32_t>(b[f.offset + i]) << (8 * i);
    return v;
}

// Every byte not named by the table must be zero.
void expect_layout(const std::array<std::uint8_t, 80>& b, const std::vector<Field>& fields) {
    std::array<bool, 80> named{};
    for (const auto& f : fields) {
        EXPECT_EQ(read_le(b, f), f.value) << "field at offset " << f.offset;
        for (std::size_t i = 0; i < f.width; ++i) named[f.offset + i] = true;
    }
    for (std::size_t i = 0; i < 80; ++i)
        if (!named[i]) {
            EXPECT_EQ(b[i], 0) << "unnamed byte " << i;
        }
}

TEST(PassThroughBlock, FixedAndCommandFieldsSitAtTheirOffsets) {
    Cdb cdb{0x28, 0x00, 0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x08};
    auto b = BuildPassThroughBlock(cdb, 10, true, 4096, 150, nullptr);
    expect_layout(b, {
                         {0, 2, 44},       // Length
                         {2, 1, 0},        // ScsiStatus
                         {3, 1, 0},        // PathId
                         {4, 1, 1},        // TargetId
                         {5, 1, 0},        // Lun
                         {6, 1, 10},       // CdbLength
                         {7, 1, 8},        // SenseInfoLength
                         {8, 1, 1},        // DataIn
                         {12, 4, 4096},    // DataTransferLength
                         {16, 4, 150},     // TimeOutValue
                         {20, 4, 0},       // DataBuffer
                         {24, 4, 48},      // SenseInfoOffset
                         {28, 4, 0x02010028},  // Cdb 0..3
                         {32, 4, 0x00000403},  // Cdb 4..7
                         {36, 4, 0x08},        // Cdb 8..11
                         {40, 4, 0},           // Cdb 12..15
                     });
}

TEST(PassThroughBlock, DataOutAndSixteenByteCdb) {
    Cdb cdb{0xFA, 0x2A, 0, 0, 0x10, 0, 0x80, 0, 4, 0, 0, 0, 0, 0, 0, 0x5A};
    auto b = BuildPassThroughBlock(cdb, 16, false, 2048, 30, nullptr);
    EXPECT_EQ(b[ptd::kDataIn], 0);
    EXPECT_EQ(b[ptd::kCdbLength], 16);
    EXPECT_EQ(b[ptd::kCdb + 15], 0x5A);
    EXPECT_EQ(bytes::le32(&b[ptd::kTimeOutValue]), 30u);
}

TEST(ExecSrb, FieldsSitAtTheirOffsetsAndOnlyTenCdbBytesGoOut) {
    Cdb cdb{0xD0, 0x01, 0xF0, 0x90, 0xF1, 0x01, 0x00, 0xF2, 0x04, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    auto s = BuildExecSrb(1, 2, 3, true, 1024, nullptr, cdb, 0);
    expect_layout(s, {
                         {0, 1, 2},         // SRB_Cmd
                         {1, 1, 0},         // SRB_Status
                         {2, 1, 1},         // SRB_HaId
                         {3, 1, 0x48},      // SRB_Flags
                         {8, 1, 2},         // SRB_Target
                         {9, 1, 3},         // SRB_Lun
                         {12, 4, 1024},     // SRB_BufLen
                         {16, 4, 0},        // SRB_BufPointer
                         {20, 1, 14},       // SRB_SenseLen
                         {21, 1, 10},       // SRB_CDBLen
                         {24, 4, 0},        // SRB_PostProc
                         {48, 4, 0x90F001D0},  // CDBByte 0..3
                         {52, 4, 0xF20001F1},  // CDBByte 4..7
                         {56, 2, 0x0004},      // CDBByte 8..9
                     });
    auto out = BuildExecSrb(0, 0, 0, false, 0, nullptr, cdb, 0);
    EXPECT_EQ(out[srb::kFlags], 0x50);
}

TEST(SectorRounding, WholeSectorsRoundedUp) {
    EXPECT_EQ(SectorsFor(0), 0u);
    EXPECT_EQ(SectorsFor(1), 1u);
    EXPECT_EQ(SectorsFor(512), 1u);
    EXPECT_EQ(SectorsFor(513), 2u);
    EXPECT_EQ(SectorsFor(0xFFFFFFFF), 0x800000u);
}

struct BackEndCase {
    const char* version;
    bool aspiPresent;
    bool useAspi;
    std::uint32_t osCode;
    int loads;
    bool result;
};

class SelectBackEndTest : public ::testing::TestWithParam<BackEndCase> {};

TEST_P(SelectBackEndTest, ChoosesTransportFromTheVersion) {
    const auto& c = GetParam();
    test::RecordingPort port;
    port.aspiAvailable = c.aspiPresent;
    platform::VirtualClock clock;
    platform::CrtRandom random;
    RecoveryDialog dialog(port, clock, random);
    dialog.QueryVersion = [&] { return *platform::ParseOsVersion(c.version); };
    EXPECT_EQ(dialog.SelectBackEnd(), c.result);
    EXPECT_EQ(dialog.UseAspi, c.useAspi);
    EXPECT_EQ(dialog.OsCode, c.osCode);
    EXPECT_EQ(port.aspiLoads, c.loads);
}

INSTANTIATE_TEST_SUITE_P(Versions, SelectBackEndTest,
                         ::testing::Values(BackEndCase{"4.10.2222 A", true, true, 5, 1, true},
                                           BackEndCase{"4.90.3000", true, true, 16, 1, true},
                                           BackEndCase{"4.10.1998", false, true, 5, 1, false},
                                           BackEndCase{"9x:4.0.950", true, true, 0, 0, false},
                                           BackEndCase{"4.0.1381", true, false, 0, 0, true},
                                           BackEndCase{"5.0.2195", true, false, 21, 0, true},
                                           BackEndCase{"5.1.2600", false, false, 32, 0, true},
                                           BackEndCase{"6.0.6000", true, false, 37, 0, true},
                                           BackEndCase{"6.1.7600", true, false, 37, 0, true},
                                           BackEndCase{"6.3.9600", true, false, 37, 0, true}));

struct Fixture {
    test::RecordingPort port;
    platform::VirtualClock clock;
    platform::CrtRandom random;
    RecoveryDialog dialog{port, clock, random};
    Fixture() { port.clock = &clock; }
};

TEST(SendPassThrough, SucceedsOnlyWhenTheCallWorksAndStatusIsGood) {
    struct Case {
        bool call;
        std::uint8_t status;
        bool expected;
    };
    for (auto c : {Case{true, 0, true}, Case{true, 2, false}, Case{false, 0, false}, Case{true, 0x18, false}}) {
        Fixture f;
        f.port.passThroughResult = c.call;
        f.port.scsiStatus = c.status;
        std::vector<std::uint8_t> buf(512);
        EXPECT_EQ(f.dialog.SendPassThrough(0x100, Cdb{}, 10, true, 512, buf, 10), c.expected)
            << "call " << c.call << " status " << int(c.status);
    }
}

TEST(SendPassThrough, RefusesABufferShorterThanTheTransfer) {
    Fixture f;
    std::vector<std::uint8_t> buf(100);
    EXPECT_FALSE(f.dialog.SendPassThrough(0x100, Cdb{}, 10, true, 512, buf, 10));
    EXPECT_TRUE(f.port.sent.empty());
}

TEST(AspiCompletion, WaitsOnTheClockUntilTheEventIsSet) {
    Fixture f;
    f.dialog.UseAspi = true;
    f.port.completeAtMs = f.clock.TickMs() + 5000;
    EXPECT_TRUE(f.dialog.TestUnitReady(AspiAddress(0, 0, 0)));
    EXPECT_GE(f.clock.SleptMs(), 5000u);
    EXPECT_LT(f.clock.SleptMs(), 6000u);
}

TEST(AspiCompletion, ACommandThatNeverCompletesFailsAtTheWaitLimit) {
    for (bool execute : {true, false}) {
        Fixture f;
        f.dialog.UseAspi = true;
        f.port.neverComplete = true;
        std::vector<std::uint8_t> buf(512);
        bool ok = execute ? f.dialog.ReadSectors(AspiAddress(0, 0, 0), 1, 0, buf)  // AspiExecute
                          : f.dialog.Inquiry(AspiAddress(0, 0, 0), buf);           // AspiSend
        EXPECT_FALSE(ok);
        EXPECT_EQ(f.clock.SleptMs(), execute ? kAspiExecuteWaitMs : kAspiSendWaitMs);
    }
}

TEST(AspiCompletion, AnImmediateErrorIsNotWaitedFor) {
    Fixture f;
    f.dialog.UseAspi = true;
    f.port.aspiReturn = platform::kSsErr;
    EXPECT_FALSE(f.dialog.TestUnitReady(AspiAddress(0, 0, 0)));
    EXPECT_EQ(f.clock.SleptMs(), 0u);
}

TEST(AspiCompletion, CompletedWithAnErrorStatusFails) {
    Fixture f;
    f.dialog.UseAspi = true;
    f.port.aspiStatus = platform::kSsErr;
    EXPECT_FALSE(f.dialog.TestUnitReady(AspiAddress(0, 0, 0)));
}

}  // namespace
}  // namespace nv::ravix
