// The files Recovery_KOLMAR embeds, as the build made them.
#include "kolmar/archive/boot_code_archive.h"
#include "tests/kolmar/recording_view.h"
#include "tests/kolmar/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

namespace nv::kolmar {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScratchDir;

const fs::path kFiles = NV_KOLMAR_FILES_DIR;

TEST(EmbeddedFiles, ArchiveUnpacksIntoTheThirtyNineMembers) {
    std::map<std::string, std::uintmax_t> expected;
    auto dir = [&](const char* d, std::initializer_list<const char*> names) {
        for (const char* n : names) expected[std::string(d) + "/" + n] = 65536;
    };
    dir("A1", {"ur.bin", "us.bin", "us1.bin", "us2.bin", "us3.bin", "us4.bin", "us5.bin", "us6.bin", "usin.bin",
               "usin1.bin", "ust.bin"});
    dir("A2C", {"ur.bin", "us.bin", "us1.bin", "us2.bin", "us4.bin", "us5.bin", "us6.bin", "usin.bin", "usin1.bin",
                "usin2.bin", "ust.bin"});
    dir("A2D", {"us.bin", "us1.bin", "usin.bin", "usin1.bin", "ust.bin"});
    dir("BCD", {"font.bin", "ur.bin", "us.bin", "us1.bin", "usin.bin", "usin1.bin", "ust.bin"});
    dir("FP", {"us.bin", "us1.bin", "usin.bin", "usin1.bin", "ust.bin"});
    expected["BCD/font.bin"] = 1052;
    for (const char* n : {"BCD/us.bin", "BCD/us1.bin", "BCD/usin.bin", "BCD/usin1.bin"}) expected[n] = 131072;
    ASSERT_EQ(expected.size(), 39u);

    ScratchDir scratch;
    fs::copy_file(kFiles / "BootCode.r", scratch.path() / "BootCode.r");
    testing::RecordingView view;
    CBootCodeArchive archive(&view);
    ASSERT_TRUE(archive.Open(scratch.str() + "\\BootCode.r"));
    archive.output_directory = scratch.str() + "\\Boot\\";
    ASSERT_TRUE(archive.SeekToBegin());
    int entries = 0;
    while (archive.ExtractNext() == 1) ++entries;
    EXPECT_EQ(entries, 39);
    EXPECT_TRUE(view.boxes.empty());

    std::map<std::string, std::uintmax_t> unpacked;
    for (auto& e : fs::recursive_directory_iterator(scratch.path() / "Boot"))
        if (e.is_regular_file()) unpacked[fs::relative(e.path(), scratch.path() / "Boot").generic_string()] = e.file_size();
    EXPECT_EQ(unpacked, expected);

    // Each image of 64 KiB or more carries its version text at 0xEFF0.
    for (const auto& [name, size] : expected) {
        if (size < 65536) continue;
        std::string image = ReadFile(scratch.path() / "Boot" / name);
        std::string text = image.substr(0xEFF0, 8);
        SCOPED_TRACE(name + ": " + text);
        for (char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F);
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[5])));
    }
}

TEST(EmbeddedFiles, EveryMemberHasTheFixedGzipHeader) {
    std::string archive = ReadFile(kFiles / "BootCode.r");
    const std::string marker(EntryMarker.data(), 8);
    const std::string header("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x0B", 10);
    std::size_t pos = 0;
    int members = 0;
    while (pos < archive.size()) {
        std::size_t m = archive.find(marker, pos + 1);
        ASSERT_NE(m, std::string::npos);
        auto* p = reinterpret_cast<const unsigned char*>(archive.data() + m + 8);
        std::uint32_t length = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        EXPECT_EQ(archive.substr(m + 12, 10), header) << archive.substr(pos, m - pos);
        pos = m + 12 + length;
        ++members;
    }
    EXPECT_EQ(pos, archive.size());
    EXPECT_EQ(members, 39);
}

TEST(EmbeddedFiles, DeviceSelectionAndConfigurationTexts) {
    EXPECT_EQ(ReadFile(kFiles / "Device.ini"), std::string("[Device]\r\nSelectDevice=KR450"));

    std::string esp = ReadFile(kFiles / "deft50.esp");
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < esp.size()) {
        std::size_t end = esp.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        lines.push_back(esp.substr(pos, end - pos));
        pos = end + 2;
    }
    ASSERT_EQ(lines.size(), 64u);
    EXPECT_EQ(lines[0], "KR450ESP");
    EXPECT_EQ(lines[1], std::string(28, '='));
    std::set<std::string> keys;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        auto colon = lines[i].find(':');
        ASSERT_NE(colon, std::string::npos) << lines[i];
        EXPECT_GT(colon, 0u) << lines[i];
        EXPECT_TRUE(keys.insert(lines[i].substr(0, colon)).second) << "duplicate key in " << lines[i];
    }
    for (const char* line : {"VID:1307", "PID:0163", "VendorName:Norvalyn", "ProductName:USB2FlashStorage"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
}

}  // namespace
}  // namespace nv::kolmar
