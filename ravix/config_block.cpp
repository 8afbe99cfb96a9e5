#include "ravix/config_block.h"

#include "ravix/recovery_dialog.h"

#include <algorithm>
#include <cstring>

namespace nv::ravix {

ConfigBlock BuildConfigBlock(const ConfigHeadBytes& head, const FlashDescriptorBytes& descriptor, platform::CrtRandom& rng,
                             std::time_t now) {
    ConfigBlock b{};
    std::copy(head.begin(), head.end(), b.begin());
    b[126] = 0x3C;
    b[127] = 0xC3;
    b[128] = 0x12;  // string descriptor of 18 bytes
    b[129] = 0x03;
    // Seeded from the clock alone: two rebuilds in the same second draw the
    // same serial.
    rng.srand(static_cast<std::uint32_t>(now));
    for (std::size_t k = 0; k < 8; ++k) b[kSerialOffset + 2 * k] = static_cast<std::uint8_t>(kSerialAlphabet[rng.rand() % 36]);
    unsigned sum = 0;
    for (std::size_t i = 128; i < kCheckByteOffset; ++i) sum += b[i];
    b[kCheckByteOffset] = static_cast<std::uint8_t>(sum);
    b[212] = static_cast<std::uint8_t>(rng.rand());
    std::memcpy(b.data() + 213, "VXK", 3);
    std::copy(descriptor.begin(), descriptor.end(), b.begin() + kDescriptorOffset);
    return b;
}

std::uint8_t DescriptorCheckByte(std::span<const std::uint8_t, kFlashDescriptorSize> d) {
    unsigned sum = 0;
    for (unsigned i = 0; i < kFlashDescriptorSize; ++i) {
        if (i == 13) continue;
        sum += d[i] == 0 ? i + 1 : d[i] + i;
    }
    return static_cast<std::uint8_t>(sum);
}

bool DescriptorIsValid(std::span<const std::uint8_t, kFlashDescriptorSize> d) {
    return d[0] != 0 && d[13] == DescriptorCheckByte(d);
}

bool ConfigPageMatches(std::span<const std::uint8_t> page1, const ConfigHeadBytes& head) {
    return page1.size() >= head.size() && std::equal(head.begin(), head.end(), page1.begin());
}

// --- on the drive ----------------------------------------------------------

void RecoveryDialog::LoadConfigBlock() {
    OpenDevice();
    ConfigBlock block{};
    if (!ReadConfigBlock(CurrentRef, block)) {
        // The old values stay, and so do the open units.
        if (View.messageBox) View.messageBox("Error on Read Configuration Block");
        return;
    }
    std::copy_n(block.begin(), kConfigHeadSize, ConfigHead.begin());
    std::copy_n(block.begin() + kDescriptorOffset, kFlashDescriptorSize, FlashDescriptor.begin());
    PerZoneFormat = PerZoneFormatFor(FlashDescriptor[1]);
    CloseDevices();
}

void RecoveryDialog::WriteNewConfigBlock() {
    // The commands go out even when the unit never answered; their failure
    // shows in VerifyConfigBlock.
    ReadyLoop(10, false);
    const ConfigBlock block = BuildConfigBlock(ConfigHead, FlashDescriptor, Random, Clock.Now());
    for (int i = 0; i < 3; ++i) TestUnitReady(UnitSlots[0]);
    WriteConfigBlock(UnitSlots[0], block);
    CloseDevices();
}

bool RecoveryDialog::VerifyConfigBlock() {
    ReadyLoop(10, false);
    std::array<std::uint8_t, 512> scratch{}, page1{};
    ReadConfigPage(UnitSlots[0], 2, scratch);
    ReadConfigPage(UnitSlots[0], 3, scratch);
    // A page that could not be read proves nothing, even when the settings
    // happen to be all zero like the unread buffer.
    const bool read = ReadConfigPage(UnitSlots[0], 1, page1);
    CloseDevices();
    return read && ConfigPageMatches(page1, ConfigHead);
}

bool RecoveryDialog::DescriptorIsValid() const { return nv::ravix::DescriptorIsValid(FlashDescriptor); }

}  // namespace nv::ravix
