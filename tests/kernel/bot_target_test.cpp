// The device side of the Bulk-Only Transport that nvbot puts on a real USB
// bus: wrapper parsing, status wrappers, and how command outcomes of the unit
// become CSW status and REQUEST SENSE data.
#include "sim/bot_target.h"
#include "sim/ravix_controller.h"

#include "shared/byte_order.h"

#include <gtest/gtest.h>

#include <vector>

namespace nv::sim::bot {
namespace {

std::vector<std::uint8_t> cbw_bytes(std::uint32_t tag, std::uint32_t length, bool in, std::uint8_t lun,
                                    std::vector<std::uint8_t> cdb) {
    std::vector<std::uint8_t> b(kCbwSize);
    bytes::put_le32(&b[0], 0x43425355);
    bytes::put_le32(&b[4], tag);
    bytes::put_le32(&b[8], length);
    b[12] = in ? 0x80 : 0x00;
    b[13] = lun;
    b[14] = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.begin() + std::min<std::size_t>(cdb.size(), 16), b.begin() + 15);
    return b;
}

TEST(BulkOnlyWrapper, ParsesTheFieldsOfAValidWrapper) {
    auto c = ParseCbw(cbw_bytes(0x11223344, 512, true, 1, {0x28, 0, 0, 0, 0, 8, 0, 0, 1, 0}));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->tag, 0x11223344u);
    EXPECT_EQ(c->length, 512u);
    EXPECT_TRUE(c->dataIn);
    EXPECT_EQ(c->lun, 1);
    EXPECT_EQ(c->cdbLength, 10);
    EXPECT_EQ(c->cdb[0], 0x28);
    EXPECT_EQ(c->cdb[5], 8);
}

TEST(BulkOnlyWrapper, RefusesWhatIsNotAWrapper) {
    auto bad_signature = cbw_bytes(1, 0, false, 0, {0});
    bad_signature[0] = 'X';
    auto short_packet = cbw_bytes(1, 0, false, 0, {0});
    short_packet.pop_back();
    auto no_cdb = cbw_bytes(1, 0, false, 0, {});
    auto long_cdb = cbw_bytes(1, 0, false, 0, std::vector<std::uint8_t>(16));
    long_cdb[14] = 17;
    for (const auto& b : {bad_signature, short_packet, no_cdb, long_cdb}) EXPECT_FALSE(ParseCbw(b));
}

TEST(BulkOnlyWrapper, StatusWrapperLayout) {
    auto csw = MakeCsw(0xA1B2C3D4, 7, kCswFailed);
    std::vector<std::uint8_t> want{0x55, 0x53, 0x42, 0x53, 0xD4, 0xC3, 0xB2, 0xA1, 7, 0, 0, 0, 1};
    EXPECT_EQ(std::vector<std::uint8_t>(csw.begin(), csw.end()), want);
}

// A unit whose answer the test sets; it records the command it was given.
class FakeExecutor : public platform::UnitExecutor {
public:
    bool Open(platform::OpenedUnit& u) override {
        opened = u.usbName;
        return openable;
    }
    void Close(platform::OpenedUnit&) override {}
    platform::ScsiResult Execute(platform::OpenedUnit& u, platform::ScsiCommand& c) override {
        lun = u.lun;
        direction = c.direction;
        if (!c.data.empty()) c.data[0] = 0xAB;
        return answer;
    }

    bool openable = true;
    platform::ScsiResult answer;
    std::string opened;
    int lun = -1;
    platform::DataDirection direction = platform::DataDirection::None;
};

platform::ScsiResult good() {
    platform::ScsiResult r;
    r.delivered = true;
    r.status = platform::kStatusGood;
    return r;
}

platform::ScsiResult check(std::uint8_t key, std::uint8_t asc) { return ravix::CheckCondition(key, asc); }

std::vector<std::uint8_t> request_sense(Target& t, std::uint8_t lun) {
    std::vector<std::uint8_t> data(18);
    auto c = ParseCbw(cbw_bytes(9, 18, true, lun, {0x03, 0, 0, 0, 18, 0}));
    EXPECT_EQ(t.Execute(*c, data), kCswPassed);
    return data;
}

TEST(BulkOnlyTarget, CommandOutcomesBecomeStatusAndSense) {
    FakeExecutor unit;
    Target target(unit, "1-1", 2);
    std::vector<std::uint8_t> data(512);
    auto read = ParseCbw(cbw_bytes(1, 512, true, 1, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}));

    unit.answer = good();
    EXPECT_EQ(target.Execute(*read, data), kCswPassed);
    EXPECT_EQ(unit.opened, "1-1");
    EXPECT_EQ(unit.lun, 1);
    EXPECT_EQ(unit.direction, platform::DataDirection::In);
    EXPECT_EQ(data[0], 0xAB);

    unit.answer = check(0x03, 0x11);
    EXPECT_EQ(target.Execute(*read, data), kCswFailed);
    // The sense stays with its LUN and is handed out once.
    EXPECT_EQ(request_sense(target, 0)[2], 0x00);
    auto sense = request_sense(target, 1);
    EXPECT_EQ(sense[2], 0x03);
    EXPECT_EQ(sense[12], 0x11);
    EXPECT_EQ(request_sense(target, 1)[2], 0x00);

    // An unanswered command is a phase error, so the host resets the link.
    unit.answer = platform::ScsiResult{};
    EXPECT_EQ(target.Execute(*read, data), kCswPhaseError);
    unit.openable = false;
    unit.answer = good();
    EXPECT_EQ(target.Execute(*read, data), kCswPhaseError);
}

TEST(BulkOnlyTarget, ResetDropsPendingSenseAndLunsPastTheLastFail) {
    FakeExecutor unit;
    Target target(unit, "1-1", 1);
    EXPECT_EQ(target.MaxLun(), 0);
    std::vector<std::uint8_t> none;
    unit.answer = check(0x05, 0x24);
    auto tur = ParseCbw(cbw_bytes(2, 0, false, 0, {0x00, 0, 0, 0, 0, 0}));
    EXPECT_EQ(target.Execute(*tur, none), kCswFailed);
    EXPECT_EQ(unit.direction, platform::DataDirection::None);
    target.Reset();
    EXPECT_EQ(request_sense(target, 0)[2], 0x00);

    unit.lun = -1;
    auto other = ParseCbw(cbw_bytes(3, 0, false, 1, {0x00, 0, 0, 0, 0, 0}));
    EXPECT_EQ(target.Execute(*other, none), kCswFailed);
    EXPECT_EQ(unit.lun, -1);  // never reached the unit
}

}  // namespace
}  // namespace nv::sim::bot
