// A simulated Ravix drive for the device-level tests: a world of its own with
// one drive, the command path of the real program (sysfs, units, simulated
// controller), a virtual clock, and a port decorator that records every CDB.
#pragma once

#include "platform/clock.h"
#include "platform/crt_random.h"
#include "platform/scsi.h"
#include "ravix/recovery_dialog.h"
#include "sim/port_tap.h"
#include "sim/ravix_controller.h"

#include <memory>
#include <string>
#include <vector>

namespace nv::test {

using SentCommand = sim::TappedCommand;

class SimDrive {
public:
    // A world with one drive of this controller state, NORVALYN_SIM pointing
    // at it, and a device context on it (pass-through unless a version is
    // given, e.g. "6.0.6000" for the wrapped writes).
    explicit SimDrive(const sim::ravix::ControllerState& state, const std::string& osVersion = "");
    ~SimDrive();

    ravix::RecoveryDialog& Dialog() { return *dialog_; }
    // Every command the device context sent, in order.
    const std::vector<SentCommand>& Sent() const { return sent_; }
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
    std::vector<SentCommand> sent_;
    std::unique_ptr<platform::ScsiPort> port_;
    std::unique_ptr<ravix::RecoveryDialog> dialog_;
};

// The healthy preset's state with capacity and chips as given.
sim::ravix::ControllerState DriveOf(std::uint32_t sectors);

}  // namespace nv::test
