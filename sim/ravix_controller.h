// The simulated Ravix controller: a model of the controller's state (identity,
// configuration block, flash chips with their zones and bad blocks, spare
// allocation, capacities, mode and state) that answers the standard SCSI
// commands and the Ravix vendor commands, with one sparse media image per
// area. Its state lives in the world directory and persists between
// processes. sim/README.md describes the model.
#pragma once

#include "platform/scsi.h"
#include "platform/scsi_units.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace nv::sim::ravix {

struct Chip {
    std::uint8_t code = 0xD3;  // entry of the flash layout reply
    std::array<std::uint8_t, 4> id{0xAD, 0xD3, 0x14, 0xA5};
    // Identification replies carry the first two identifier bytes again at
    // 128..129 (the module check compares them).
    bool idEcho = true;
    std::map<int, std::vector<std::uint8_t>> badBlocks;  // zone -> block numbers
    std::set<int> deadZones;                             // wholly unusable zones
};

struct Faults {
    std::optional<std::uint8_t> failOpcode;      // commands with this opcode do not reach the drive
    std::optional<std::uint8_t> checkOpcode;     // commands with this opcode end in CHECK CONDITION
    std::optional<std::uint32_t> failAfter;      // commands left before every command fails
    bool pulled = false;                         // the drive is gone
    bool Any() const { return failOpcode || checkOpcode || failAfter || pulled; }
};

struct ControllerState {
    std::uint8_t code = 0xAE;       // AAh, ABh, AEh
    std::uint8_t revision = 0x07;
    std::vector<Chip> chips{Chip{}, Chip{}};
    std::uint8_t zoneGroups = 8;          // per chip; 4 zones each
    std::uint16_t blocksPerGroup = 1024;  // 256 blocks a zone
    std::uint32_t sectorsPerBlock = 128;
    // Spare blocks per zone group in units of 4 blocks, chip-major (as the
    // spare table carries them at 128 + 16 x chip + group).
    std::vector<std::uint8_t> spares;
    std::uint32_t secondAreaSectors = 0;  // R: sectors of the second area, 0 undivided
    std::uint32_t capacityOverride = 0;   // a damaged capacity setting; 0 = computed
    std::uint32_t reservedSectors26 = 0;  // GetDeviceInfo 26..29
    std::uint8_t info17 = 0, info30 = 0;
    std::uint8_t module36 = 0, module41 = 0, module42 = 0, module44 = 1;

    std::array<std::uint8_t, 512> config{};
    std::array<std::uint8_t, 512> page2{}, page3{};
    std::uint8_t mode = 0x20;   // GetDeviceStatus byte 126
    std::uint8_t state = 0xC0;  // GetDeviceStatus byte 128
    std::uint32_t notReadyCount = 0;
    bool modeFixPending = false;

    // Capacity block of the last Vendor99, applied by Vendor96.
    std::optional<std::uint32_t> pendingSecondArea;
    bool sparesPending = false;
    std::vector<std::uint8_t> pendingSpares;

    // Flash sequences of the module check.
    std::uint8_t preset = 0;
    std::vector<std::uint8_t> moduleHeader;  // what the header write stored
    std::vector<std::uint8_t> moduleData;    // sectors written by module data records
    bool moduleCommitted = false;

    std::uint8_t areaWindow = 0;  // which area LUN 0 reaches (FA 80 00 10 / FA 81)
    std::string factorySerial = "0123456789AB";
    std::uint64_t erasedBlocks = 0, markedBlocks = 0;

    Faults faults;
};

// Derived views.
std::uint32_t TotalSectors(const ControllerState& s);
std::uint32_t FirstAreaSectors(const ControllerState& s);  // 0 when undivided
std::uint32_t AreaCount(const ControllerState& s);
std::uint32_t AreaSectors(const ControllerState& s, std::uint32_t area);
bool ConfigValid(const ControllerState& s);
struct Identity {
    std::string vendor, product, rev;
};
Identity InquiryIdentity(const ControllerState& s);
// USB serial the drive enumerates with: the configuration block's, or the
// factory one when the block is not valid.
std::string UsbSerial(const ControllerState& s);
std::uint32_t BadBlockCount(const Chip& chip, std::uint32_t zonesPerChip);
std::uint32_t GroupBadCount(const Chip& chip, std::uint32_t group);

// A block that a healthy controller of this state would carry: settings,
// marker, serial descriptor and, for AEh, a valid flash descriptor.
std::array<std::uint8_t, 512> MakeConfigBlock(const ControllerState& s, const std::string& serial8);

// Where a drive's files live: <world>/ravix/<usb device name>/.
std::string DriveDir(const std::string& worldDir, const std::string& usbName);

bool SaveState(const std::string& driveDir, const ControllerState& s);
std::optional<ControllerState> LoadState(const std::string& driveDir);

// Lays out a new drive's state and empty media images.
bool CreateDrive(const std::string& driveDir, const ControllerState& s);

// One addressable unit; the controller and the fault decorators around it.
class Unit {
public:
    virtual ~Unit() = default;
    virtual platform::ScsiResult Execute(int lun, platform::ScsiCommand& command) = 0;
};

class Controller final : public Unit {
public:
    Controller(ControllerState& state, std::string driveDir);
    ~Controller() override;
    platform::ScsiResult Execute(int lun, platform::ScsiCommand& command) override;
    // State changed and must be saved now.
    bool Dirty() const { return dirty_; }
    // Only counters changed; saving can wait.
    bool Counted() const { return counted_; }
    void ClearDirty() { dirty_ = counted_ = false; }

private:
    platform::ScsiResult media(int lun, platform::ScsiCommand& c, bool write);
    platform::ScsiResult vendor(int lun, platform::ScsiCommand& c);
    platform::ScsiResult flash_sequence(platform::ScsiCommand& c);
    int area_fd(std::uint32_t area);
    void commit();

    ControllerState& s_;
    std::string dir_;
    std::map<std::uint32_t, int> fds_;
    bool dirty_ = false;
    bool counted_ = false;
};

// Faults as decorators: each wraps the unit below and acts on its own kind.
std::unique_ptr<Unit> WithFaults(Unit& inner, Faults& faults, bool& faultsChanged);

platform::ScsiResult CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);

}  // namespace nv::sim::ravix

namespace nv::sim {

// The last step of a command in a simulated world: the drive's controller
// instead of SG_IO. State is reloaded when another process changed it and
// saved after every command that changed it.
class SimExecutor final : public platform::UnitExecutor {
public:
    explicit SimExecutor(std::string worldDir);
    ~SimExecutor() override;
    bool Open(platform::OpenedUnit& unit) override;
    void Close(platform::OpenedUnit& unit) override;
    platform::ScsiResult Execute(platform::OpenedUnit& unit, platform::ScsiCommand& command) override;

private:
    struct Drive;
    Drive* drive_for(const std::string& usbName);
    std::string world_;
    std::map<std::string, std::unique_ptr<Drive>> drives_;
};

}  // namespace nv::sim
