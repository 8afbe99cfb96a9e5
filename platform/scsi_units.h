// The ScsiPort that every Linux-side back end shares: handles and ASPI
// addresses resolved through sysfs (a real /sys, a fixture or a simulated
// world), the identity of each opened unit recorded and checked again before
// any data-out command. Only the last step, executing the command on the
// unit, is the executor's: SG_IO on a real machine, the simulated controller
// in a world.
#pragma once

#include "platform/clock.h"
#include "platform/scsi.h"

#include <map>
#include <optional>
#include <memory>
#include <string>

namespace nv::platform {

// A unit as it was found when it was opened.
struct OpenedUnit {
    std::string unitPath;   // sysfs directory of the SCSI unit
    std::string generic;    // "sg2"
    std::string devNode;    // <dev root>/sg2
    std::string usbPath;    // sysfs directory of the USB device
    std::string usbName;    // "1-1"
    std::string usbSerial;
    int host = 0, channel = 0, target = 0, lun = 0;
    int fd = -1;            // executor's own use
    void* context = nullptr;  // executor's own use
};

// The command a pass-through block or an SRB stands for; nullopt when the
// record asks for more data than the buffer holds.
std::optional<ScsiCommand> CommandFromPassThroughBlock(std::span<const std::uint8_t, 80> block,
                                                       std::span<std::uint8_t> data);
std::optional<ScsiCommand> CommandFromExecSrb(std::span<const std::uint8_t> srb, std::span<std::uint8_t> data);

// The sysfs directory of the USB mass-storage unit behind a disk ("sdb"),
// the way to its sg node; nullopt for a disk that is not such a unit (the
// machine's own disks never are).
std::optional<std::string> UnitPathOfDisk(const std::string& sysfsRoot, const std::string& disk);

// ASPI has no time-out of its own; this is the device-side limit its
// commands get below the ASPI layer.
constexpr std::uint32_t kAspiDeviceTimeoutMs = 150'000;

class UnitExecutor {
public:
    virtual ~UnitExecutor() = default;
    virtual bool Open(OpenedUnit& unit) = 0;
    virtual void Close(OpenedUnit& unit) = 0;
    virtual ScsiResult Execute(OpenedUnit& unit, ScsiCommand& command) = 0;
};

class UnitPort final : public ScsiPort {
public:
    UnitPort(std::unique_ptr<UnitExecutor> executor, std::string sysfsRoot, std::string devRoot);
    ~UnitPort() override;

    bool PassThroughDirect(std::uint32_t handle, std::span<std::uint8_t, 80> block,
                           std::span<std::uint8_t> data) override;
    bool LoadAspi() override;
    void FreeAspi() override;
    std::uint32_t GetAspiSupportInfo() override;
    std::uint8_t SendAspiCommand(std::span<std::uint8_t> srb, std::span<std::uint8_t> data,
                                 CompletionEvent* event) override;
    std::unique_ptr<CompletionEvent> CreateCompletionEvent() override;
    std::uint32_t OpenUnit(const std::string& unitSysfsPath) override;
    void CloseHandle(std::uint32_t handle) override;

    // The unit still is what was opened: same sg node under the same sysfs
    // unit, same USB device serial. Linux reuses sg and sd names.
    static bool StillSameUnit(const OpenedUnit& unit);

    UnitExecutor& Executor() { return *executor_; }

private:
    bool find_unit(const std::string& unitPath, OpenedUnit& out) const;
    bool find_address(int host, int target, int lun, OpenedUnit& out) const;
    ScsiResult run(OpenedUnit& unit, ScsiCommand& command);

    std::unique_ptr<UnitExecutor> executor_;
    std::string sysfs_root_, dev_root_;
    std::map<std::uint32_t, OpenedUnit> handles_;
    std::uint32_t next_handle_ = 0x100;
    bool aspi_loaded_ = false;
    // Identity of each ASPI address as first seen; data-out is refused once
    // the address points at another unit.
    std::map<std::uint32_t, OpenedUnit> aspi_seen_;
};

}  // namespace nv::platform
