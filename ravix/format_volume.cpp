// FormatVolume: the partition sector and the empty FAT volume written to the
// drive sector by sector through WriteSectors.
#include "ravix/recovery_dialog.h"
#include "ravix/volume_layout.h"

namespace nv::ravix {

std::uint32_t RecoveryDialog::FormatVolume(std::uint32_t u, std::uint32_t S, std::int32_t N) {
    // Nothing is written for a count that cannot hold a volume, nor for a
    // slot the device context does not have.
    const auto layout = ComputeVolumeLayout(u, S, N);
    if (!layout || u >= UnitSlots.size()) return kErrClearOrFat;

    ReadyLoop(0, true);

    // Seeded from the clock alone: two runs in the same second draw the same
    // serial.
    Random.srand(static_cast<std::uint32_t>(Clock.Now()));
    Random.srand(static_cast<std::uint32_t>(Clock.Now()));
    const std::uint32_t serial = VolumeSerial(Random.rand(), u);

    VolumeIo io;
    io.write = [this](std::uint32_t slot, std::uint32_t lba, std::uint32_t count, const std::uint8_t* data) {
        return WriteSectors(UnitSlots[slot], count, lba, std::span<const std::uint8_t>(data, 512u * count));
    };
    io.testUnitReady = [this](std::uint32_t slot) { TestUnitReady(UnitSlots[slot]); };
    // On a failure the units stay open; the caller's next OpenDevice closes them.
    if (const std::uint32_t result = WriteVolume(*layout, serial, io); result != 0) return result;
    CloseDevices();
    return 0;
}

}  // namespace nv::ravix
