#include "sim_drive.h"

#include "platform/version.h"
#include "sim/ravix_world.h"
#include "sim/scsi_port.h"
#include "sim/world.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace nv::test {

SimDrive::SimDrive(const sim::ravix::ControllerState& state, const std::string& osVersion) {
    std::string templ = (std::filesystem::temp_directory_path() / "nvsimdrive.XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp");
    dir_ = templ;
    sim::WorldWriter world(dir_ + "/world");
    std::string error;
    if (!world.Create("test", &error)) throw std::runtime_error(error);
    const auto placed = sim::AddRavixDrive(world, state);
    driveDir_ = sim::ravix::DriveDir(world.Dir(), placed.name);
    ::setenv("NORVALYN_SIM", world.Dir().c_str(), 1);
    port_ = std::make_unique<sim::PortTap>(sim::MakeScsiPort(), [this](const SentCommand& c) { sent_.push_back(c); });
    dialog_ = std::make_unique<ravix::RecoveryDialog>(*port_, clock_, random_);
    if (!osVersion.empty()) {
        const auto v = platform::ParseOsVersion(osVersion);
        if (!v) throw std::runtime_error("version " + osVersion);
        dialog_->QueryVersion = [v] { return *v; };
    }
    dialog_->SelectBackEnd();
}

SimDrive::~SimDrive() {
    dialog_.reset();
    port_.reset();
    ::unsetenv("NORVALYN_SIM");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

sim::ravix::ControllerState SimDrive::State() const {
    auto s = sim::ravix::LoadState(driveDir_);
    if (!s) throw std::runtime_error("no controller state in " + driveDir_);
    return *s;
}

void SimDrive::SetState(const sim::ravix::ControllerState& s) { sim::ravix::SaveState(driveDir_, s); }

std::string SimDrive::MediaImage(int area) const { return driveDir_ + "/lun" + std::to_string(area) + ".img"; }

std::vector<SentCommand> SimDrive::Sent(std::uint8_t opcode) const {
    std::vector<SentCommand> out;
    for (const auto& c : sent_)
        if (c.cdb[0] == opcode) out.push_back(c);
    return out;
}

sim::ravix::ControllerState DriveOf(std::uint32_t sectors) {
    auto s = sim::HealthyRavix("NV3K8Q2M");
    s.capacityOverride = sectors;
    return s;
}

}  // namespace nv::test
