// The USB mass-storage Bulk-Only Transport, device side: command block
// wrappers in, status wrappers out, and a target that runs each command on a
// unit executor (the simulated controller) for a gadget of ours to put on a
// real USB bus. The USB plumbing (FunctionFS) lives in tools/nvbot.
#pragma once

#include "platform/scsi.h"
#include "platform/scsi_units.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nv::sim::bot {

constexpr std::size_t kCbwSize = 31;
constexpr std::size_t kCswSize = 13;
constexpr std::uint8_t kCswPassed = 0, kCswFailed = 1, kCswPhaseError = 2;

// Class requests on the interface.
constexpr std::uint8_t kRequestReset = 0xFF;
constexpr std::uint8_t kRequestGetMaxLun = 0xFE;

struct Cbw {
    std::uint32_t tag = 0;
    std::uint32_t length = 0;  // dCBWDataTransferLength
    bool dataIn = false;       // bmCBWFlags bit 7
    std::uint8_t lun = 0;
    std::uint8_t cdbLength = 0;
    std::array<std::uint8_t, 16> cdb{};
};

// A valid wrapper: 31 bytes, the signature, a CDB of 1..16 bytes.
std::optional<Cbw> ParseCbw(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, kCswSize> MakeCsw(std::uint32_t tag, std::uint32_t residue, std::uint8_t status);

// Runs command blocks on the units of one drive. A command that ends in
// CHECK CONDITION leaves its sense for the host's REQUEST SENSE, which the
// target answers itself, as a device does for its auto-sense.
class Target {
public:
    Target(platform::UnitExecutor& executor, std::string usbName, int lunCount);

    std::uint8_t MaxLun() const { return static_cast<std::uint8_t>(lun_count_ - 1); }

    // data holds the data-out bytes, or receives the data-in bytes; its size
    // is the wrapper's transfer length. Returns the status for the CSW. A
    // command the unit never answered is a phase error: the host resets.
    std::uint8_t Execute(const Cbw& cbw, std::span<std::uint8_t> data);

    // Bulk-Only Mass Storage Reset: pending sense is dropped.
    void Reset();

private:
    platform::UnitExecutor& executor_;
    std::string usb_name_;
    int lun_count_;
    std::vector<std::array<std::uint8_t, 18>> sense_;
};

}  // namespace nv::sim::bot
