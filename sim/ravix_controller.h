#pragma once
#include "platform/scsi_units.h"
#include <string>
namespace nv::sim {
class SimExecutor final : public platform::UnitExecutor {
public:
    explicit SimExecutor(std::string worldDir) : world_(std::move(worldDir)) {}
    bool Open(platform::OpenedUnit&) override { return false; }
    void Close(platform::OpenedUnit&) override {}
    platform::ScsiResult Execute(platform::OpenedUnit&, platform::ScsiCommand&) override { return {}; }
private:
    std::string world_;
};
}  // namespace nv::sim
