// The boot code of a written volume, booted in QEMU: what it prints is read
// back from the text screen through the monitor.
#include "fat_check.h"
#include "ravix/volume_layout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <memory>
#include <regex>
#include <sstream>

namespace nv::ravix {
namespace {

using nv::test::SparseImage;

// Boots the image and returns the 80x25 text screen after a few seconds.
std::string BootScreen(const std::string& image) {
    const auto r = nv::test::RunTool("(sleep 6; echo 'xp /4000bx 0xb8000'; echo quit) | timeout 60 "
                                     "qemu-system-x86_64 -drive file='" + image + "',format=raw -display none "
                                     "-monitor stdio -m 32 -net none -no-reboot");
    std::string screen;
    const std::regex line("[0-9a-f]+: ((?:0x[0-9a-f]{2} ?)+)");
    std::istringstream in(r.output);
    std::string text;
    while (std::getline(in, text)) {
        std::smatch m;
        if (!std::regex_search(text, m, line)) continue;
        std::istringstream bytes(m[1].str());
        std::string b;
        for (int i = 0; bytes >> b; ++i)
            if (i % 2 == 0) screen += static_cast<char>(std::stoi(b, nullptr, 16));
    }
    return screen;
}

struct BootCase {
    const char* name;
    std::int32_t n;
    std::uint8_t status;       // partition entry's status byte
    bool bootSignature;        // the volume's boot sector keeps 55h AAh
    const char* message;
};

TEST(BootCode, PrintsItsMessages) {
    if (nv::test::RunTool("command -v qemu-system-x86_64").status != 0) GTEST_SKIP() << "no QEMU";
    const BootCase cases[] = {
        {"FAT16 volume", 100'000, 0x80, true, "Invalid system disk"},
        {"FAT32 volume", 5'000'000, 0x80, true, "NTLDR is missihg"},
        {"bad status byte", 100'000, 0x7F, true, "Invalid partition table"},
        {"no boot signature", 100'000, 0x80, false, "Missing operating system"},
    };
    // The machines boot side by side; each needs a few seconds.
    std::vector<std::unique_ptr<SparseImage>> images;
    std::vector<std::future<std::string>> screens;
    for (const BootCase& c : cases) {
        const auto l = *ComputeVolumeLayout(0, 0, c.n);
        images.push_back(std::make_unique<SparseImage>("boot-" + std::to_string(images.size()), l.sectors));
        SparseImage& image = *images.back();
        VolumeIo io;
        io.write = [&](std::uint32_t, std::uint32_t lba, std::uint32_t count, const std::uint8_t* data) {
            return image.Write(lba, count, data);
        };
        io.testUnitReady = [](std::uint32_t) {};
        ASSERT_EQ(WriteVolume(l, VolumeSerial(1, 0), io), 0u);
        // The writer leaves the partition inactive; a user who boots from it
        // marks it active first.
        Sector mbr = BuildPartitionSector(l);
        mbr[446] = c.status;
        image.Write(0, 1, mbr.data());
        if (!c.bootSignature) {
            Sector boot{};
            image.ReadSector(l.volumeStart, boot.data());
            boot[510] = boot[511] = 0;
            image.Write(l.volumeStart, 1, boot.data());
        }
        screens.push_back(std::async(std::launch::async, BootScreen, image.Path()));
    }
    for (std::size_t i = 0; i < screens.size(); ++i)
        EXPECT_NE(screens[i].get().find(cases[i].message), std::string::npos) << cases[i].name;
}

}  // namespace
}  // namespace nv::ravix
