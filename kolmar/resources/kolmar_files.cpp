#include "kolmar/resources/kolmar_files.h"

#include "kolmar/archive/archive_writer.h"

#include <cstdint>
#include <cstring>

namespace nv::kolmar {

const std::vector<FirmwareMember>& FirmwareMembers() {
    static const std::vector<FirmwareMember> members = [] {
        std::vector<FirmwareMember> m;
        auto add = [&](const char* dir, std::initializer_list<const char*> names) {
            for (const char* n : names) m.push_back({std::string(dir) + "\\" + n, 65536});
        };
        add("A1", {"ur.bin", "us.bin", "us1.bin", "us2.bin", "us3.bin", "us4.bin", "us5.bin", "us6.bin", "usin.bin",
                   "usin1.bin", "ust.bin"});
        add("A2C", {"ur.bin", "us.bin", "us1.bin", "us2.bin", "us4.bin", "us5.bin", "us6.bin", "usin.bin", "usin1.bin",
                    "usin2.bin", "ust.bin"});
        add("A2D", {"us.bin", "us1.bin", "usin.bin", "usin1.bin", "ust.bin"});
        add("BCD", {"font.bin", "ur.bin", "us.bin", "us1.bin", "usin.bin", "usin1.bin", "ust.bin"});
        add("FP", {"us.bin", "us1.bin", "usin.bin", "usin1.bin", "ust.bin"});
        for (auto& member : m) {
            if (member.name == "BCD\\font.bin") member.size = 1052;
            if (member.name == "BCD\\us.bin" || member.name == "BCD\\us1.bin" || member.name == "BCD\\usin.bin" ||
                member.name == "BCD\\usin1.bin")
                member.size = 131072;
        }
        return m;
    }();
    return members;
}

std::vector<unsigned char> FirmwareImage(const FirmwareMember& member) {
    std::vector<unsigned char> image(member.size, 0xFF);
    // A code-like head that differs per member, erased flash (0xFF) after it.
    std::uint32_t seed = 2166136261u;
    for (char c : member.name) seed = (seed ^ static_cast<unsigned char>(c)) * 16777619u;
    std::size_t code = std::min<std::size_t>(member.size, 0x3000);
    for (std::size_t i = 0; i < code; ++i) {
        seed = seed * 214013u + 2531011u;
        image[i] = static_cast<unsigned char>((seed >> 16) & 0x3F);
    }
    if (member.size >= 0x10000) {
        // One version per directory, numbered from the version's 4th byte.
        std::string dir = member.name.substr(0, member.name.find('\\'));
        const char* version = dir == "A1" ? "FWUFD665" : dir == "A2C" ? "FWUFD670" : dir == "A2D" ? "FWUFD672"
                            : dir == "BCD" ? "FWUFD668" : "FWUFD660";
        std::memcpy(image.data() + 0xEFF0, version, 8);
    }
    return image;
}

std::string BootCodeArchive() {
    std::string archive;
    for (const auto& member : FirmwareMembers()) AppendEntry(archive, member.name, GzipMember(FirmwareImage(member)));
    return archive;
}

std::string DeviceIni() { return "[Device]\r\nSelectDevice=KR450"; }

std::string Deft50Esp() {
    std::string text = "KR450ESP\r\n" + std::string(28, '=') + "\r\n";
    const char* lines[] = {
        "VID:1307", "PID:0163", "VendorName:Norvalyn", "ProductName:USB2FlashStorage", "ProductRevision:1.00",
        "SerialNumber:AUTO", "SerialLength:16", "SerialPrefix:NV", "MaxLUN:0", "RemovableLUN0:1",
        "CDROMLUN:0", "WriteProtectSwitch:0", "PowerDraw:100", "SelfPowered:0", "USBVersion:2.00",
        "ControllerModel:KR450", "FlashInterface:NAND", "FlashVendor:AUTO", "FlashCount:AUTO", "ChipEnable:AUTO",
        "PageSize:AUTO", "PagesPerBlock:AUTO", "BlocksPerZone:1024", "SpareBlocksPerZone:24", "ECCBits:8",
        "ScanMode:Full", "ScanPasses:1", "EraseBeforeScan:1", "BadBlockLimit:5", "MarkFactoryBad:1",
        "Capacity:AUTO", "CapacityAlign:4096", "ReservedBlocks:8", "FormatType:FAT32", "VolumeLabel:NORVALYN",
        "ClusterSize:AUTO", "PartitionStart:63", "PartitionType:0C", "HiddenSectors:63", "MediaDescriptor:F8",
        "LEDMode:Blink", "LEDActiveLow:0", "ReadCache:1", "WriteCache:1", "PowerSaving:0",
        "SuspendCurrent:500", "InquiryVendor:Norvalyn", "InquiryProduct:USB2FlashStorage", "InquiryRevision:1.00",
        "SCSIVersion:2", "ResponseFormat:2", "BootCodeDir:Boot", "BootCodeFile:AUTO", "UpdateBootCode:1",
        "VerifyAfterWrite:1", "RetryCount:3", "TimeoutMs:5000", "ResetAfterRepair:1", "ReenumerateDelayMs:1000",
        "LogLevel:0", "ConfigVersion:1", "Checksum:AUTO",
    };
    static_assert(sizeof lines / sizeof lines[0] == 62);
    for (const char* line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace nv::kolmar
