#include "platform/scsi_units.h"

#include "platform/sysfs.h"
#include "shared/byte_order.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace fs = std::filesystem;

namespace nv::platform {
namespace {

class FlagEvent final : public CompletionEvent {
public:
    void Set() override { set_ = true; }
    void Reset() override { set_ = false; }
    bool IsSet() override { return set_; }

private:
    std::atomic<bool> set_{false};
};

std::string canonical(const std::string& p) {
    std::error_code ec;
    auto c = fs::canonical(p, ec);
    return ec ? p : c.string();
}

template <typename Match>
bool find_in_sysfs(const std::string& root, const std::string& devRoot, Match match, OpenedUnit& out) {
    for (const auto& d : sysfs::ListUsbDevices(root)) {
        for (const auto& i : d.interfaces) {
            for (const auto& u : i.units) {
                if (!match(u) || u.generic.empty()) continue;
                out = OpenedUnit{};
                out.unitPath = canonical(u.path);
                out.generic = u.generic;
                out.devNode = devRoot + "/" + u.generic;
                out.usbPath = d.path;
                out.usbName = d.name;
                out.usbSerial = d.serial;
                out.host = u.host;
                out.channel = u.channel;
                out.target = u.target;
                out.lun = u.lun;
                return true;
            }
        }
    }
    return false;
}

bool same_identity(const OpenedUnit& a, const OpenedUnit& b) {
    return a.unitPath == b.unitPath && a.generic == b.generic && a.usbPath == b.usbPath &&
           a.usbSerial == b.usbSerial;
}

}  // namespace

std::optional<ScsiCommand> CommandFromPassThroughBlock(std::span<const std::uint8_t, 80> block,
                                                       std::span<std::uint8_t> data) {
    std::uint32_t length = bytes::le32(block.data() + ptd::kDataTransferLength);
    if (data.size() < length) return std::nullopt;
    ScsiCommand c;
    c.cdbLength = std::min<std::uint8_t>(block[ptd::kCdbLength], 16);
    std::copy_n(block.begin() + ptd::kCdb, 16, c.cdb.begin());
    c.data = data.first(length);
    c.direction = length == 0 ? DataDirection::None
                              : (block[ptd::kDataIn] == 1 ? DataDirection::In : DataDirection::Out);
    c.timeoutMs = bytes::le32(block.data() + ptd::kTimeOutValue) * 1000u;
    return c;
}

std::optional<ScsiCommand> CommandFromExecSrb(std::span<const std::uint8_t> srb, std::span<std::uint8_t> data) {
    if (srb.size() < srb::kSize) return std::nullopt;
    std::uint32_t length = bytes::le32(srb.data() + srb::kBufLen);
    if (data.size() < length) return std::nullopt;
    ScsiCommand c;
    c.cdbLength = std::min<std::uint8_t>(srb[srb::kCdbLen], 16);
    std::copy_n(srb.begin() + srb::kCdbByte, c.cdbLength, c.cdb.begin());
    c.data = data.first(length);
    std::uint8_t dir = srb[srb::kFlags] & 0x18;
    c.direction = length == 0 ? DataDirection::None : (dir == 0x10 ? DataDirection::Out : DataDirection::In);
    c.timeoutMs = kAspiDeviceTimeoutMs;
    return c;
}

std::optional<std::string> UnitPathOfDisk(const std::string& sysfsRoot, const std::string& disk) {
    for (const auto& d : sysfs::ListUsbDevices(sysfsRoot))
        for (const auto& i : d.interfaces)
            for (const auto& u : i.units)
                if (!disk.empty() && u.block == disk) return u.path;
    return std::nullopt;
}

UnitPort::UnitPort(std::unique_ptr<UnitExecutor> executor, std::string sysfsRoot, std::string devRoot)
    : executor_(std::move(executor)), sysfs_root_(std::move(sysfsRoot)), dev_root_(std::move(devRoot)) {}

UnitPort::~UnitPort() {
    for (auto& [h, u] : handles_) executor_->Close(u);
}

bool UnitPort::find_unit(const std::string& unitPath, OpenedUnit& out) const {
    std::string want = canonical(unitPath);
    return find_in_sysfs(sysfs_root_, dev_root_, [&](const sysfs::ScsiUnit& u) { return canonical(u.path) == want; },
                         out);
}

bool UnitPort::find_address(int host, int target, int lun, OpenedUnit& out) const {
    return find_in_sysfs(
        sysfs_root_, dev_root_,
        [&](const sysfs::ScsiUnit& u) { return u.host == host && u.target == target && u.lun == lun && u.channel == 0; },
        out);
}

bool UnitPort::StillSameUnit(const OpenedUnit& unit) {
    std::error_code ec;
    if (!fs::exists(fs::path(unit.unitPath) / "scsi_generic" / unit.generic, ec)) return false;
    auto serial = sysfs::ReadAttribute(unit.usbPath + "/serial");
    return serial.value_or("") == unit.usbSerial;
}

ScsiResult UnitPort::run(OpenedUnit& unit, ScsiCommand& command) {
    // A write goes only to the unit that was opened: Linux hands a freed
    // sg name to the next device that comes.
    if (command.direction == DataDirection::Out && !StillSameUnit(unit)) return {};
    return executor_->Execute(unit, command);
}

std::uint32_t UnitPort::OpenUnit(const std::string& unitSysfsPath) {
    OpenedUnit u;
    if (!find_unit(unitSysfsPath, u)) return kInvalidHandle;
    if (!executor_->Open(u)) return kInvalidHandle;
    std::uint32_t h = next_handle_++;
    if (next_handle_ == kInvalidHandle) next_handle_ = 0x100;
    handles_[h] = std::move(u);
    return h;
}

void UnitPort::CloseHandle(std::uint32_t handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    executor_->Close(it->second);
    handles_.erase(it);
}

bool UnitPort::PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                                 std::span<std::uint8_t> data) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return false;
    auto command = CommandFromPassThroughBlock(block, data);
    if (!command) return false;
    ScsiResult r = run(it->second, *command);
    if (!r.delivered) return false;
    block[ptd::kScsiStatus] = r.status;
    std::size_t senseLen = std::min<std::size_t>({r.senseLength, block[ptd::kSenseInfoLength], 32});
    std::copy_n(r.sense.begin(), senseLen, block.begin() + ptd::kSenseArea);
    return true;
}

bool UnitPort::LoadAspi() {
    aspi_loaded_ = true;
    return true;
}

void UnitPort::FreeAspi() { aspi_loaded_ = false; }

std::uint32_t UnitPort::GetAspiSupportInfo() {
    // Host adapters are the SCSI hosts of USB mass-storage units only: the
    // machine's own disks never become ASPI addresses.
    int hosts = 0;
    for (const auto& d : sysfs::ListUsbDevices(sysfs_root_))
        for (const auto& i : d.interfaces)
            for (const auto& u : i.units) hosts = std::max(hosts, u.host + 1);
    if (hosts == 0) return static_cast<std::uint32_t>(kSsNoAdapters) << 8;
    return (static_cast<std::uint32_t>(kSsComp) << 8) | static_cast<std::uint32_t>(std::min(hosts, 255));
}

std::unique_ptr<CompletionEvent> UnitPort::CreateCompletionEvent() { return std::make_unique<FlagEvent>(); }

std::uint8_t UnitPort::SendAspiCommand(std::span<std::uint8_t> s, std::span<std::uint8_t> data,
                                       CompletionEvent* event) {
    auto finish = [&](std::uint8_t status) {
        if (s.size() > srb::kStatus) s[srb::kStatus] = status;
        return status;
    };
    if (!aspi_loaded_ || s.size() < 4) return finish(kSsInvalidSrb);
    switch (s[srb::kCmd]) {
    case srb::kScHaInquiry: {
        if (s.size() < srb::kHaInquirySize) return finish(kSsInvalidSrb);
        std::uint32_t info = GetAspiSupportInfo();
        s[srb::kHaCount] = static_cast<std::uint8_t>(info);
        s[srb::kHaScsiId] = 7;
        std::fill_n(s.begin() + srb::kHaUnique, 16, 0);
        s[srb::kHaUnique + 3] = 8;  // targets per adapter
        return finish(kSsComp);
    }
    case srb::kScGetDevType: {
        if (s.size() < srb::kGetDevTypeSize) return finish(kSsInvalidSrb);
        OpenedUnit u;
        if (!find_address(s[srb::kHaId], s[srb::kTarget], s[srb::kLun], u)) return finish(kSsNoDevice);
        s[srb::kDevType] = 0;  // direct-access
        return finish(kSsComp);
    }
    case srb::kScExecScsiCmd: break;
    default: return finish(kSsInvalidSrb);
    }
    auto command = CommandFromExecSrb(s, data);
    if (!command) return finish(kSsInvalidSrb);
    OpenedUnit u;
    std::uint32_t address = s[srb::kHaId] | (s[srb::kTarget] << 8) | (s[srb::kLun] << 16);
    auto seen = aspi_seen_.find(address);
    if (seen != aspi_seen_.end() && StillSameUnit(seen->second)) {
        u = seen->second;
    } else {
        if (!find_address(s[srb::kHaId], s[srb::kTarget], s[srb::kLun], u)) return finish(kSsNoDevice);
        if (seen == aspi_seen_.end())
            aspi_seen_[address] = u;
        else if (!same_identity(seen->second, u) && command->direction == DataDirection::Out)
            return finish(kSsErr);
    }
    ScsiResult r;
    if (executor_->Open(u)) {
        r = run(u, *command);
        executor_->Close(u);
    }
    s[srb::kHaStat] = 0;
    s[srb::kTargStat] = r.delivered ? r.status : 0;
    if (r.delivered) std::copy_n(r.sense.begin(), std::min<std::size_t>(r.senseLength, 16), s.begin() + srb::kSenseArea);
    // The command ran to its end here; completion is still signalled the
    // ASPI way, through the event.
    s[srb::kStatus] = r.Good() ? kSsComp : kSsErr;
    if (event) event->Set();
    return kSsPending;
}

}  // namespace nv::platform
