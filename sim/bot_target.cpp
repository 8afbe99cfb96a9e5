#include "sim/bot_target.h"

#include "shared/byte_order.h"

#include <algorithm>

namespace nv::sim::bot {
namespace {

constexpr std::uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr std::uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr std::uint8_t kRequestSense = 0x03;

std::array<std::uint8_t, 18> fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    std::array<std::uint8_t, 18> s{};
    s[0] = 0x70;
    s[2] = key;
    s[7] = 10;
    s[12] = asc;
    s[13] = ascq;
    return s;
}

}  // namespace

std::optional<Cbw> ParseCbw(std::span<const std::uint8_t> b) {
    if (b.size() != kCbwSize || bytes::le32(b.data()) != kCbwSignature) return std::nullopt;
    Cbw c;
    c.tag = bytes::le32(b.data() + 4);
    c.length = bytes::le32(b.data() + 8);
    c.dataIn = (b[12] & 0x80) != 0;
    c.lun = b[13] & 0x0F;
    c.cdbLength = b[14] & 0x1F;
    if (c.cdbLength < 1 || c.cdbLength > 16) return std::nullopt;
    std::copy_n(b.begin() + 15, c.cdbLength, c.cdb.begin());
    return c;
}

std::array<std::uint8_t, kCswSize> MakeCsw(std::uint32_t tag, std::uint32_t residue, std::uint8_t status) {
    std::array<std::uint8_t, kCswSize> b{};
    bytes::put_le32(&b[0], kCswSignature);
    bytes::put_le32(&b[4], tag);
    bytes::put_le32(&b[8], residue);
    b[12] = status;
    return b;
}

Target::Target(platform::UnitExecutor& executor, std::string usbName, int lunCount)
    : executor_(executor), usb_name_(std::move(usbName)), lun_count_(std::max(1, lunCount)),
      sense_(static_cast<std::size_t>(lun_count_), fixed_sense(0, 0, 0)) {}

void Target::Reset() { std::fill(sense_.begin(), sense_.end(), fixed_sense(0, 0, 0)); }

std::uint8_t Target::Execute(const Cbw& cbw, std::span<std::uint8_t> data) {
    if (cbw.lun >= lun_count_) return kCswFailed;  // no sense slot: the host never asks for it
    auto& sense = sense_[cbw.lun];
    if (cbw.cdb[0] == kRequestSense) {
        std::size_t n = std::min<std::size_t>({sense.size(), data.size(), cbw.cdb[4]});
        std::copy_n(sense.begin(), n, data.begin());
        sense = fixed_sense(0, 0, 0);
        return kCswPassed;
    }
    platform::ScsiCommand command;
    command.cdb = cbw.cdb;
    command.cdbLength = cbw.cdbLength;
    command.direction = data.empty() ? platform::DataDirection::None
                                     : (cbw.dataIn ? platform::DataDirection::In : platform::DataDirection::Out);
    command.data = data;
    platform::OpenedUnit unit;
    unit.usbName = usb_name_;
    unit.lun = cbw.lun;
    if (!executor_.Open(unit)) return kCswPhaseError;
    platform::ScsiResult r = executor_.Execute(unit, command);
    executor_.Close(unit);
    if (!r.delivered) return kCswPhaseError;
    if (r.status == platform::kStatusGood) {
        sense = fixed_sense(0, 0, 0);
        return kCswPassed;
    }
    sense = fixed_sense(0, 0, 0);
    std::copy_n(r.sense.begin(), std::min<std::size_t>(r.senseLength, sense.size()), sense.begin());
    return kCswFailed;
}

}  // namespace nv::sim::bot
