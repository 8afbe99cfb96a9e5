// The device context of Recovery_RAVIX: the main dialog's object without its
// widgets. It holds the transport, the drive's units and the controller
// state that the flows share, and the flows are its methods; each flow lives
// in its own source file (transport.cpp, commands.cpp, identification.cpp,
// and the format, configuration and recovery files that join later). The
// Qt dialog is a thin view of this object.
#pragma once

#include "platform/clock.h"
#include "platform/crt_random.h"
#include "platform/scsi.h"
#include "platform/version.h"
#include "ravix/commands.h"
#include "ravix/config_block.h"
#include "ravix/transport.h"
#include "ravix/zone_table.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace nv::ravix {

class RecoveryDialog {
public:
    RecoveryDialog(platform::ScsiPort& port, platform::Clock& clock, platform::CrtRandom& random);
    ~RecoveryDialog();
    RecoveryDialog(const RecoveryDialog&) = delete;
    RecoveryDialog& operator=(const RecoveryDialog&) = delete;

    // --- transport ---------------------------------------------------------
    // Sets UseAspi and OsCode from the version record and binds ASPI where
    // the version needs it; false when the 9x family has no usable ASPI.
    bool SelectBackEnd();
    bool SendPassThrough(DeviceRef handle, const Cdb& cdb, std::uint8_t cdbLength, bool dataIn,
                         std::uint32_t transferLength, std::span<std::uint8_t> buffer,
                         std::uint32_t timeoutSeconds);

    struct ScsiRequest {
        std::uint8_t hostAdapter = 0, target = 0, lun = 0;
        std::uint8_t opcode = 0;
        std::uint32_t sectorCount = 0;  // its low byte is CDB byte 8
        std::uint32_t lba = 0;
        std::uint32_t direction = 0;    // 0 = data in, anything else = data out
        std::span<std::uint8_t> buffer; // at least sectorCount x 512 bytes
    };
    bool AspiExecute(const ScsiRequest& request);
    bool AspiSend(DeviceRef ref, const Cdb& cdb, bool dataIn, std::uint32_t transferLength,
                  std::span<std::uint8_t> buffer);

    // --- the ten wrappers --------------------------------------------------
    // A buffer smaller than the transfer makes the command fail unsent.
    bool TestUnitReady(DeviceRef ref);
    bool Inquiry(DeviceRef ref, std::span<std::uint8_t> buffer);       // 36 bytes
    bool ReadCapacity(DeviceRef ref, std::span<std::uint8_t> buffer);  // 1 block
    bool ReadSectors(DeviceRef ref, std::uint32_t count, std::uint32_t lba, std::span<std::uint8_t> buffer);
    bool WriteSectors(DeviceRef ref, std::uint32_t count, std::uint32_t lba, std::span<const std::uint8_t> buffer);
    bool WrappedWriteSectors(DeviceRef ref, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3,
                             std::uint8_t c4, std::uint8_t c5, std::uint8_t c6, std::uint8_t c7, std::uint8_t c8,
                             std::uint32_t count, std::span<const std::uint8_t> buffer);
    bool VendorReadBlock(DeviceRef ref, std::uint8_t opcode, std::span<std::uint8_t> buffer);
    bool VendorWrite(DeviceRef ref, std::uint8_t opcode, std::uint32_t length, std::span<const std::uint8_t> buffer);
    bool VendorCommandIn(DeviceRef ref, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3,
                         std::uint8_t c4, std::uint8_t c5, std::uint32_t length, std::span<std::uint8_t> buffer);
    bool FlashSequenceIn(DeviceRef ref, const Cdb& cdb, std::uint32_t count, std::span<std::uint8_t> buffer);
    bool FlashSequenceOut(DeviceRef ref, const Cdb& cdb, std::uint32_t count, std::span<const std::uint8_t> buffer);

    // --- vendor commands under their own names -----------------------------
    // Helpers whose reply the program does not read take no buffer.
    bool GetDeviceInfo(DeviceRef ref, std::span<std::uint8_t> buffer);
    bool GetDeviceStatus(DeviceRef ref, std::span<std::uint8_t> buffer);
    bool GetFlashLayout(DeviceRef ref, std::span<std::uint8_t> buffer);
    bool ScanZone(DeviceRef ref, std::uint8_t chip, std::uint8_t zone, std::span<std::uint8_t> buffer);
    bool ReadConfigBlock(DeviceRef ref, std::span<std::uint8_t> buffer);
    bool WriteConfigBlock(DeviceRef ref, std::span<const std::uint8_t> block);
    bool ReadConfigPage(DeviceRef ref, std::uint8_t page, std::span<std::uint8_t> buffer);
    bool Vendor73(DeviceRef ref);
    bool Vendor74(DeviceRef ref, std::span<const std::uint8_t> page2);
    bool Vendor83(DeviceRef ref, std::uint8_t n);
    bool Vendor96(DeviceRef ref);
    bool Vendor98(DeviceRef ref, std::uint8_t chip, std::uint8_t zone, std::uint8_t block, std::uint8_t mark);
    bool Vendor99(DeviceRef ref, std::span<const std::uint8_t> parameters);
    bool Vendor9B(DeviceRef ref);
    bool Vendor9C(DeviceRef ref);
    bool VendorD2(DeviceRef ref);
    bool VendorD3(DeviceRef ref);
    bool VendorF5(DeviceRef ref, std::span<const std::uint8_t> zoneTable);
    bool VendorF8(DeviceRef ref);       // F8 51 FF 00 00 00
    bool VendorF8Block(DeviceRef ref);  // opcode-only form
    bool VendorFA(DeviceRef ref, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3);
    bool FlashReadId(DeviceRef ref, std::uint8_t chip, std::span<std::uint8_t> buffer);

    // --- units -------------------------------------------------------------
    // Opens the drive's units and fills UnitSlots, UnitCount and CurrentRef.
    void OpenDevice();
    // Releases what OpenDevice opened (nothing in ASPI mode or once Closing).
    void CloseDevices();

    // --- configuration block, flash zones, FAT volume -----------------------
    // Up to tries rounds (0: until it answers) of OpenDevice and
    // TestUnitReady on UnitSlots[0] or CurrentRef, CloseDevices after each
    // failed round; true when the unit answered.
    bool ReadyLoop(std::uint32_t tries, bool onCurrentRef);
    void LoadConfigBlock();
    void WriteNewConfigBlock();
    bool VerifyConfigBlock();
    bool DescriptorIsValid() const;
    void ReadZoneTable(ZoneTable& table);
    void ScanBadBlocks();
    std::uint32_t CountGroupBad(std::uint32_t chip, std::uint32_t group) const;
    void AllocateZones();
    // 0, or the error code of the first failing step (208, 210, 230, 231).
    std::uint32_t FormatVolume(std::uint32_t u, std::uint32_t S, std::int32_t N);
    void PumpMessages();

    // What the flows show, filled in by the dialog or a test: a message box
    // with an OK button, the progress bar (0 to 100), and the pump that
    // handles the window's pending messages.
    struct ViewHooks {
        std::function<void(const std::string&)> messageBox;
        std::function<void(int)> setProgress;
        std::function<void()> pumpMessages;
    } View;

    // --- fields ------------------------------------------------------------
    platform::ScsiPort& Port;
    platform::Clock& Clock;
    platform::CrtRandom& Random;
    // The version record SelectBackEnd reads; tests put another in place.
    std::function<platform::OsVersionInfo()> QueryVersion = platform::QueryOsVersion;

    bool UseAspi = false;
    std::uint32_t OsCode = 0;
    bool AspiLoaded = false;

    DeviceRef CurrentRef = kNoHandle;
    std::array<DeviceRef, 2> UnitSlots{kNoHandle, kNoHandle};
    std::uint32_t UnitCount = 0;
    bool Closing = false;

    std::uint32_t ErrorCode = 0;
    bool FailureShown = false;

    ConfigHeadBytes ConfigHead{};
    FlashDescriptorBytes FlashDescriptor{};
    bool PerZoneFormat = true;
    bool HasFlashDescriptor = false;
    std::int32_t ReserveFactor = 10;
    bool MlcMode = false;
    BadBlockMap BadBlocks;

    // What the last SelectBackEnd decided about "no unit".
    DeviceRef NoUnit() const { return UseAspi ? kNoAspiUnit : kNoHandle; }
};

}  // namespace nv::ravix
