// The files Recovery_KOLMAR embeds besides KDLL.so, made at build time: the
// firmware archive with our own images, the device selection file and the
// controller configuration text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace nv::kolmar {

struct FirmwareMember {
    std::string name;  // as in the archive, e.g. "A1\\ur.bin"
    std::size_t size;
};

// The 39 members in archive order.
const std::vector<FirmwareMember>& FirmwareMembers();

// Our stand-in image for one member. Images of 64 KiB and more hold eight
// text characters at 0xEFF0 whose bytes 2 to 7 are the firmware version.
std::vector<unsigned char> FirmwareImage(const FirmwareMember& member);

std::string BootCodeArchive();
std::string DeviceIni();
std::string Deft50Esp();

}  // namespace nv::kolmar
