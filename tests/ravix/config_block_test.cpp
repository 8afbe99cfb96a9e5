#include "ravix/config_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace nv::ravix {
namespace {

FlashDescriptorBytes OnlyFirstByteSet() {
    FlashDescriptorBytes d{};
    d[0] = 1;
    return d;
}

std::string Serial(const ConfigBlock& b) {
    std::string s;
    for (std::size_t k = 0; k < 8; ++k) s += static_cast<char>(b[kSerialOffset + 2 * k]);
    return s;
}

TEST(DescriptorCheck, ValidOnlyWithPresenceByteAndMatchingCheckByte) {
    FlashDescriptorBytes d = OnlyFirstByteSet();
    // 1 for byte 0, plus i + 1 for every other zero byte but 13: 1,162 mod 256.
    EXPECT_EQ(DescriptorCheckByte(d), 0x8A);
    EXPECT_FALSE(DescriptorIsValid(d));
    d[13] = 0x8A;
    EXPECT_TRUE(DescriptorIsValid(d));

    FlashDescriptorBytes zero{};
    zero[13] = DescriptorCheckByte(zero);
    EXPECT_FALSE(DescriptorIsValid(zero)) << "no descriptor present";

    // A non-zero byte counts as its value plus its index: 1,162 - (2 + 3 + 4)
    // + (1 + 1) + (4Fh + 2) + (6 + 3) = 1,245, DDh.
    FlashDescriptorBytes k = OnlyFirstByteSet();
    k[1] = 1;
    k[2] = 'O';
    k[3] = 6;
    k[13] = 0xDD;
    EXPECT_TRUE(DescriptorIsValid(k));
    k[47] = 1;  // 1 + 47 counts the same as a zero byte 47 (48)
    EXPECT_TRUE(DescriptorIsValid(k));
    k[46] = 2;  // 2 + 46 does not count as 47
    EXPECT_FALSE(DescriptorIsValid(k));
}

TEST(DescriptorCheck, ZoneByZoneFormatForMakersThreeAndSeven) {
    for (int maker = 0; maker < 256; ++maker)
        EXPECT_EQ(PerZoneFormatFor(static_cast<std::uint8_t>(maker)), maker == 3 || maker == 7) << maker;
}

TEST(ConfigBlockBuild, LayoutCarriesSettingsSerialAndDescriptor) {
    ConfigHeadBytes head;
    for (std::size_t i = 0; i < head.size(); ++i) head[i] = static_cast<std::uint8_t>(0x80 + i);
    FlashDescriptorBytes d;
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(i + 1);
    platform::CrtRandom rng;
    const ConfigBlock b = BuildConfigBlock(head, d, rng, 1'700'000'000);

    EXPECT_TRUE(std::equal(head.begin(), head.end(), b.begin()));
    EXPECT_EQ(b[126], 0x3C);
    EXPECT_EQ(b[127], 0xC3);
    EXPECT_EQ(b[128], 0x12);
    EXPECT_EQ(b[129], 0x03);
    unsigned sum = 0;
    for (std::size_t i = 128; i < 146; ++i) sum += b[i];
    EXPECT_EQ(b[146], sum % 256);
    EXPECT_EQ(std::memcmp(b.data() + 213, "VXK", 3), 0);
    EXPECT_TRUE(std::equal(d.begin(), d.end(), b.begin() + 353));

    // Draws: eight serial characters, then the byte at 212.
    platform::CrtRandom ref;
    ref.srand(1'700'000'000);
    std::string expected;
    for (int k = 0; k < 8; ++k) expected += kSerialAlphabet[ref.rand() % 36];
    EXPECT_EQ(Serial(b), expected);
    EXPECT_EQ(b[212], static_cast<std::uint8_t>(ref.rand()));
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(b[131 + 2 * k], 0) << k;

    auto zero = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) EXPECT_EQ(b[i], 0) << i;
    };
    zero(147, 212);
    zero(216, 353);
    zero(401, 512);
}

TEST(ConfigBlockBuild, SerialDependsOnlyOnTheSecond) {
    ConfigHeadBytes head{};
    const FlashDescriptorBytes d{};
    platform::CrtRandom a, b;
    a.rand();  // whatever was drawn before does not matter
    const std::string first = Serial(BuildConfigBlock(head, d, a, 1'234'567));
    EXPECT_EQ(Serial(BuildConfigBlock(head, d, b, 1'234'567)), first);
    EXPECT_NE(Serial(BuildConfigBlock(head, d, b, 1'234'568)), first);
    for (std::time_t t = 0; t < 2000; t += 7)
        for (char c : Serial(BuildConfigBlock(head, d, a, t)))
            EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) << c;
}

TEST(ConfigBlockBuild, PageOneMustBeginWithTheSettings) {
    ConfigHeadBytes head{};
    head[0] = 7;
    head[125] = 9;
    std::array<std::uint8_t, 512> page{};
    std::copy(head.begin(), head.end(), page.begin());
    page[130] = 'X';  // the serial area is not compared
    EXPECT_TRUE(ConfigPageMatches(page, head));
    page[125] = 8;
    EXPECT_FALSE(ConfigPageMatches(page, head));
}

}  // namespace
}  // namespace nv::ravix
