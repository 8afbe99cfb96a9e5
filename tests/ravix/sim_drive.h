// A simulated Ravix drive for the device-level tests: a world of its own with
// one drive, the command path of the real program (sysfs, units, simulated
// controller), a virtual clock, and a port decorator that records every CDB.
#pragma once

#include "platform/clock.h"
#include "platform/crt_random.h"
#include "platform/scsi.h"
#include "ravix/recovery_dialog.h"
#include "sim/ravix_controller.h"

#include <memory>
#include <string>
#include <vector>

namespace nv::test {

struct SentCommand {
    std::uint32_t handle = 0;
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdbLength = 0;
    std::uint32_t length = 0;
    bool ok = false;
};

// Forwards to the real port and keeps what went out.
class LoggingPort final : public platform::ScsiPort {
public:
    explicit LoggingPort(std::unique_ptr<platform::ScsiPort> inner) : inner_(std::move(inner)) {}
    bool PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                           std::span<std::uint8_t> data) override;
    bool LoadAspi() override { return inner_->LoadAspi(); }
    void FreeAspi() override { inner_->FreeAspi(); }
    std::uint32_t GetAspiSupportInfo() override { return inner_->GetAspiSupportInfo(); }
    std::uint8_t SendAspiCommand(std::span<std::uint8_t> srb, std::span<std::uint8_t> data,
                                 platform::CompletionEvent* event) override {
        return inner_->SendAspiCommand(srb, data, event);
    }
    std::unique_ptr<platform::CompletionEvent> CreateCompletionEvent() override {
        return inner_->CreateCompletionEvent();
    }
    std::uint32_t OpenUnit(const std::string& path) override { return inner_->OpenUnit(path); }
    void CloseHandle(std::uint32_t handle) override { inner_->CloseHandle(handle); }

    std::vector<SentCommand> sent;

private:
    std::unique_ptr<platform::ScsiPort> inner_;
};

class SimDrive {
public:
    // A world with one drive of this controller state, NORVALYN_SIM pointing
    // at it, and a device context on it (pass-through unless a version is
    // given, e.g. "6.0.6000" for the wrapped writes).
    explicit SimDrive(const sim::ravix::ControllerState& state, const std::string& osVersion = "");
    ~SimDrive();

    ravix::RecoveryDialog& Dialog() { return *dialog_; }
    LoggingPort& Port() { return *port_; }
    platform::VirtualClock& Clock() { return clock_; }
    platform::CrtRandom& Random() { return random_; }

    sim::ravix::ControllerState State() const;          // as saved now
    void SetState(const sim::ravix::ControllerState& s);  // faults and all
    std::string MediaImage(int area = 0) const;

    // Commands sent with this opcode (byte 0 of the CDB).
    std::vector<SentCommand> Sent(std::uint8_t opcode) const;

private:
    std::string dir_, driveDir_;
    platform::VirtualClock clock_{1'700'000'000};
    platform::CrtRandom random_;
    LoggingPort* port_ = nullptr;
    std::unique_ptr<platform::ScsiPort> ownedPort_;
    std::unique_ptr<ravix::RecoveryDialog> dialog_;
};

// The healthy preset's state with capacity and chips as given.
sim::ravix::ControllerState DriveOf(std::uint32_t sectors);

}  // namespace nv::test
