#include "ravix/volume_layout.h"

#include "ravix/boot_code.h"
#include "shared/byte_order.h"

#include <algorithm>
#include <cstring>

namespace nv::ravix {
namespace {

using nv::bytes::put_le16;
using nv::bytes::put_le32;

struct Fat32Step {
    std::uint32_t below;  // N below this count
    std::uint32_t sectorsPerFat;
};
// One step per power of two of N; F mod 128 is 17, 33, 65 or 1, which keeps
// the tail of each FAT copy to one write of an allowed size.
constexpr Fat32Step kFat32Steps[] = {
    {1u << 23, 7'953},     {1u << 24, 15'905},    {1u << 25, 31'809},
    {1u << 26, 63'617},    {1u << 27, 127'233},   {1u << 28, 254'465},
    {1u << 29, 508'929},   {1u << 30, 1'017'857}, {0xFFFFFFFFu, 2'035'713},
};

std::uint32_t Fat12Cluster(std::uint32_t n) {
    if (n < 2'881) return 1;
    if (n < 8'193) return 2;
    if (n < 14'337) return 4;
    return 8;
}

std::uint32_t Fat16Cluster(std::uint32_t n) {
    if (n <= 64'000) return 1;
    if (n <= 128'000) return 2;
    if (n <= 256'000) return 4;
    if (n <= 512'000) return 8;
    if (n <= 1'024'000) return 16;
    if (n <= 2'048'000) return 32;
    return 64;
}

std::uint32_t Fat32Cluster(std::uint32_t n) {
    if (n <= 16'384'000) return 8;
    if (n <= 32'768'000) return 16;
    if (n <= 65'536'000) return 32;
    return 64;
}

std::uint32_t Fat32Clusters(std::uint32_t n, std::uint32_t f, std::uint32_t spc) {
    return (n - 33 - 32 - 2 * f) / spc;
}

void put_text(std::uint8_t* p, const char* text) { std::memcpy(p, text, std::strlen(text)); }

}  // namespace

std::uint32_t VolumeLayout::dataClusters() const {
    const std::uint32_t rootSectors = type == FatType::Fat32 ? 0 : 32;
    const std::uint32_t fatArea = type == FatType::Fat16 ? 510 : 2 * sectorsPerFat;
    return (volumeSectors() - reservedSectors - fatArea - rootSectors) / sectorsPerCluster;
}

std::uint32_t Fat32SectorsPerFat(std::uint32_t n, std::uint32_t spc) {
    std::size_t i = 0;
    while (n >= kFat32Steps[i].below) ++i;
    // Just below a power of two the step's FAT is too short for the clusters
    // of small cluster sizes; a FAT that cannot address every cluster makes
    // a corrupt volume, so take the next step there.
    while (i + 1 < std::size(kFat32Steps) &&
           Fat32Clusters(n, kFat32Steps[i].sectorsPerFat, spc) + 2 > kFat32Steps[i].sectorsPerFat * 128)
        ++i;
    return kFat32Steps[i].sectorsPerFat;
}

std::optional<VolumeLayout> ComputeVolumeLayout(std::uint32_t u, std::uint32_t S, std::int32_t N) {
    if (N < kMinVolumeSectors) return std::nullopt;
    VolumeLayout l;
    const auto n = static_cast<std::uint32_t>(N);
    l.unit = u;
    l.start = S;
    l.sectors = n;
    l.volumeStart = u == 0 ? S + 32 : S;
    l.partitionType = n < 16'000 ? 0x01 : n < 32'000 ? 0x04 : 0x06;
    if (n <= 32'000) {
        l.type = FatType::Fat12;
        l.clearWrites = 1;
        l.reservedSectors = 1;
        l.sectorsPerFat = 12;
        l.sectorsPerCluster = Fat12Cluster(n);
        l.rootStart = l.volumeStart + 1 + 24;
    } else if (n <= 4'096'000) {
        l.type = FatType::Fat16;
        l.clearWrites = 8;
        l.reservedSectors = 1;
        l.sectorsPerFat = 255;
        l.sectorsPerCluster = Fat16Cluster(n);
        l.rootStart = l.volumeStart + 1 + 510;
    } else {
        l.type = FatType::Fat32;
        l.clearWrites = 32;
        l.reservedSectors = 32;
        l.sectorsPerCluster = Fat32Cluster(n);
        l.sectorsPerFat = Fat32SectorsPerFat(n, l.sectorsPerCluster);
        l.rootStart = l.volumeStart + 32 + 2 * l.sectorsPerFat;
        // The root directory is cluster 2: clear all of it, not only the
        // first 32 sectors, or a used drive shows old bytes as entries.
        l.rootWrites = std::max<std::uint32_t>(4, l.sectorsPerCluster / 8);
    }
    return l;
}

std::uint32_t VolumeSerial(int r, std::uint32_t u) {
    return (static_cast<std::uint32_t>(r) << 16) + 0x9380u + u;
}

Sector BuildPartitionSector(const VolumeLayout& l) {
    Sector s{};
    const auto code = PartitionLoader();
    std::copy(code.begin(), code.end(), s.begin());
    std::uint8_t* e = s.data() + 446;
    e[0] = 0x00;
    e[1] = 0x01;
    e[2] = 0x01;
    e[3] = 0x00;
    e[4] = l.partitionType;
    e[5] = 0x20;
    e[6] = 0x3F;
    const auto cyl = static_cast<std::uint8_t>(l.sectors / 32 / 63);
    e[7] = cyl == 0 ? 0x01 : cyl;
    put_le32(e + 8, 32);
    put_le32(e + 12, l.sectors - 32);
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

Sector BuildBootSector(const VolumeLayout& l, std::uint32_t serial) {
    Sector s{};
    std::uint8_t* b = s.data();
    const std::uint32_t count = l.volumeSectors();
    put_le16(b + 11, 512);
    b[13] = static_cast<std::uint8_t>(l.sectorsPerCluster);
    put_le16(b + 14, static_cast<std::uint16_t>(l.reservedSectors));
    b[16] = 2;
    b[21] = 0xF8;
    if (l.type == FatType::Fat32) {
        b[0] = 0xEB;
        b[1] = 0x58;
        b[2] = 0x90;
        put_text(b + 3, "MSDOS5.0");
        put_le16(b + 24, 63);
        put_le16(b + 26, 255);
        put_le32(b + 32, count);
        put_le32(b + 36, l.sectorsPerFat);
        put_le32(b + 44, 2);
        put_le16(b + 48, 1);
        put_le16(b + 50, 6);
        b[66] = 0x29;
        put_le32(b + 67, serial);
        put_text(b + 71, "NO NAME    ");
        put_text(b + 82, "FAT32   ");
        const auto code = Fat32Loader();
        std::copy(code.begin(), code.end(), b + 90);
    } else {
        b[0] = 0xEB;
        b[1] = 0x3E;
        b[2] = 0x90;
        put_text(b + 3, ")o-H]IHC");
        put_le16(b + 17, 512);
        if (l.type == FatType::Fat12 || l.sectors <= 64'000)
            put_le16(b + 19, static_cast<std::uint16_t>(count));
        else
            put_le32(b + 32, count);
        put_le16(b + 22, static_cast<std::uint16_t>(l.sectorsPerFat));
        put_le16(b + 24, 32);
        put_le16(b + 26, 32);
        b[38] = 0x29;
        put_le32(b + 39, serial);
        put_text(b + 43, "NO NAME    ");
        put_text(b + 54, l.type == FatType::Fat12 ? "FAT12   " : "FAT16   ");
        const auto code = Fat16Loader();
        std::copy(code.begin(), code.end(), b + 62);
    }
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

Sector BuildFsInfoSector() {
    Sector s{};
    put_text(s.data(), "RRaA");
    put_text(s.data() + 484, "rrAa");
    put_le32(s.data() + 488, 0xFFFFFFFFu);
    put_le32(s.data() + 492, 2);
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

Sector BuildBootTailSector() {
    Sector s{};
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

Sector BuildFatHead(FatType type) {
    Sector s{};
    s[0] = 0xF8;
    s[1] = 0xFF;
    s[2] = 0xFF;
    if (type != FatType::Fat12) s[3] = 0xFF;
    if (type == FatType::Fat32) {
        // entry 1, and the end of the root directory's chain in entry 2
        put_le32(s.data() + 4, 0x0FFFFFFFu);
        put_le32(s.data() + 8, 0x0FFFFFFFu);
    }
    return s;
}

std::vector<VolumeStep> PlanVolumeWrites(const VolumeLayout& l) {
    using Kind = VolumeStep::Kind;
    std::vector<VolumeStep> plan;
    const std::uint32_t u = l.unit;
    const std::uint32_t V = l.volumeStart;
    auto write = [&](std::uint32_t slot, std::uint32_t lba, std::uint32_t count, SectorContent first,
                     std::uint32_t err) { plan.push_back({Kind::Write, slot, lba, count, first, err}); };

    for (std::uint32_t i = 0; i < l.clearWrites; ++i)
        write(u, l.start + 128 * i, 128, SectorContent::Zero, kErrClearOrFat);

    if (u == 0) {
        for (std::uint32_t lba : {0u, 8u, 16u, 24u}) write(0, lba, 8, SectorContent::Zero, 0);
        write(0, 0, 1, SectorContent::PartitionSector, kErrPartitionSector);
    }

    if (l.type == FatType::Fat32) {
        for (std::uint32_t base : {V, V + 6}) {
            write(u, base, 1, SectorContent::BootSector, kErrBootSector);
            write(u, base + 1, 1, SectorContent::FsInfo, kErrBootSector);
            write(u, base + 2, 1, SectorContent::BootTail, kErrBootSector);
        }
        const std::uint32_t F = l.sectorsPerFat;
        for (std::uint32_t copy = 0; copy < 2; ++copy) {
            std::uint32_t lba = V + 32 + copy * F;
            for (std::uint32_t i = 0; i < F / 128; ++i, lba += 128)
                write(u, lba, 128, i == 0 ? SectorContent::FatHead : SectorContent::Zero, kErrClearOrFat);
            write(u, lba, F % 128, SectorContent::Zero, kErrClearOrFat);
        }
    } else {
        plan.push_back({Kind::TestUnitReady, u, 0, 0, SectorContent::Zero, 0});
        write(u, V, 1, SectorContent::BootSector, kErrBootSector);
        // FAT12: 3 writes of 4 per copy, second copy at V + 13. FAT16: 32
        // writes of 8 per copy of 255 sectors, so the second copy, at
        // V + 256, rewrites the last sector of the first and the first root
        // directory sector.
        const bool fat12 = l.type == FatType::Fat12;
        const std::uint32_t writes = fat12 ? 3 : 32, size = fat12 ? 4 : 8;
        for (std::uint32_t copy = 0; copy < 2; ++copy) {
            std::uint32_t lba = V + 1 + copy * l.sectorsPerFat;
            for (std::uint32_t i = 0; i < writes; ++i, lba += size)
                write(u, lba, size, i == 0 ? SectorContent::FatHead : SectorContent::Zero, kErrClearOrFat);
        }
    }

    for (std::uint32_t i = 0; i < l.rootWrites; ++i)
        write(u, l.rootStart + 8 * i, 8, SectorContent::Zero, i + 1 == l.rootWrites ? kErrRootDirectory : 0);
    return plan;
}

std::uint32_t WriteVolume(const VolumeLayout& l, std::uint32_t serial, const VolumeIo& io) {
    std::vector<std::uint8_t> buffer(128 * 512, 0);
    for (const VolumeStep& step : PlanVolumeWrites(l)) {
        if (step.kind == VolumeStep::Kind::TestUnitReady) {
            io.testUnitReady(step.slot);
            continue;
        }
        Sector first{};
        switch (step.first) {
        case SectorContent::Zero: break;
        case SectorContent::PartitionSector: first = BuildPartitionSector(l); break;
        case SectorContent::BootSector: first = BuildBootSector(l, serial); break;
        case SectorContent::FsInfo: first = BuildFsInfoSector(); break;
        case SectorContent::BootTail: first = BuildBootTailSector(); break;
        case SectorContent::FatHead: first = BuildFatHead(l.type); break;
        }
        std::copy(first.begin(), first.end(), buffer.begin());
        const bool ok = io.write(step.slot, step.lba, step.count, buffer.data());
        std::fill_n(buffer.begin(), 512, 0);
        if (!ok && step.errorCode != 0) return step.errorCode;
    }
    return 0;
}

}  // namespace nv::ravix
