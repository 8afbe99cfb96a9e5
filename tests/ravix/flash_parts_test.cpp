#include "ravix/flash_parts.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <sstream>
#include <tuple>

namespace nv::ravix {
namespace {

using Descriptor = std::array<std::uint8_t, kFlashDescriptorSize>;

Descriptor Key(int series, int maker, char capacity, int packages = 0) {
    Descriptor d{};
    d[0] = 1;
    d[1] = static_cast<std::uint8_t>(maker);
    d[2] = static_cast<std::uint8_t>(capacity);
    d[3] = static_cast<std::uint8_t>(series);
    d[4] = static_cast<std::uint8_t>(packages);
    return d;
}

// The part list in the makers' own grouping, one row per series and maker,
// kept as text so that it is checked independently of the lookup table.
const char* const kRows[] = {
    "1 1 L K9F1G08U0A | M K9F2G08U0M | N K9K4G08U0M | O K9W8G08U0M | P K9WAG08U1M | Q K9MBG08U5M | R K9MCG08U5M",
    "1 2 L HY27UF081G2M | M HY27UF082G2M | N HY27UG084G2M | O HY27UH088G2M | P HY27UH08AG5M | Q HY27UW08BGFM",
    "1 3 K HN29V51211T-50 | L HN29V1G91T-30 | M HN29V2G74W30 | N R1FV04G13RSA-3 | O R1FV08G15RLG-2",
    "1 4 M MT29F2G08AAB | N MT29F4G08BAB | O MT29F8G08FAB | P MT29F16G08QAAWC | Q MT29F32G08TAAWC",
    "1 5 M 29F02G08AANB3 | N 29F04G08AANB1 | O 29F08G08BANB1 | P 29F16G08CAMB2",
    "1 6 Q TH58NVG5D4CTG20",
    "1 7 L P1U1GR30AT-G30CB | N P1U4GR30CT-G30CA",
    "1 9 M F56SSMP-0S0 | N F12MSAP-0S01",
    "2 1 L K9F1G08U0M | M K9K2G08U0M | N K9W4G08U1M | O K9W8G08U1M | P K9HAG08U1M | Q K9NBG08U5M",
    "2 2 L HY27UA081G1M | M HY27UG082G2M | N HY27UH084G2M | O HY27UU088G5M | P HY27UV08AG5M | Q HY27UV08BG5M",
    "2 3 K HN29V51211T-50H | L HN29V1G91T-30V | M HN29V2G74WT-30 | N R1FV04G13RSA-2",
    "2 4 M MT29F2G08AAC | N MT29F4G08AAA | O MT29F8G08BAA",
    "2 5 M 29F02G08AANA2 | N 29F04G08BANB3 | O 29F08G08FANB3",
    "2 7 N P1U4GR30CT-G45CA",
    "2 9 M F56SSMY-0S0 | N F4GMSAP-0S01",
    "3 1 L K9K1G08U0M | M K9K2G08U0A | N K9G4G08U0M | O K9L8G08U0M | P K9LAG08U0M | Q K9NBG08U5A",
    "3 2 L HY27UA081G4M | M HY27UB082G4M | N HY27UT084G2M | O HY27UG088G5M | P HY27UU08AG5M",
    "3 3 K HN29V51291AT-30 | L HN29V1G91T-30C | M HN29V2G74WT-30C",
    "3 4 O MT29F8G08FAC",
    "3 5 O 29F08G08CANB2",
    "3 9 M F2GSSAP",
    "4 1 L K9F1G08U0B | M K9K2G08U1A | N K9F4G08U0M | O K9K8G08U0M | P K9WAG08U1A | Q K9HBG08U1M",
    "4 2 L HY27UF081G2A | M HY27UF082G2A | N HY27UF084G2M | O HY27UT088G2M",
    "4 4 O MT29F8G08MAAWC",
    "4 5 O 29F08G08AAMB2",
    "5 2 O HY27UT088G2M-o",
    "6 1 N K9F4G08U0A | O K9G8G08U0M | P K9GAG08U0M | Q K9WBG08U1M",
    "7 1 N K9G4G08U0A | O K9K8G08U1M | P K9KAG08U0M",
    "8 1 O K9L8G08U0A",
    "9 1 O K9G8G08U0M(ULGA)",
    "10 1 O K9F8G08U0M",

    "5 1 K K9F1208U0C | M K9F2G08U0A | N K9K4G08U1M | O K9K8G08U0A | Q K9HBG08U1M(ULGA)",
};

std::map<std::tuple<int, int, char>, std::string> Expected() {
    std::map<std::tuple<int, int, char>, std::string> parts;
    for (const char* row : kRows) {
        std::istringstream in(row);
        int series, maker;
        in >> series >> maker;
        std::string capacity, name, bar;
        while (in >> capacity >> name) {
            parts[{series, maker, capacity[0]}] = name;
            in >> bar;
        }
    }
    return parts;
}

TEST(FlashPartName, EveryKeyGivesItsPartOrNothing) {
    const auto expected = Expected();
    EXPECT_EQ(expected.size(), 102u);  // with the two package-count names, 104
    for (int series = 1; series <= 10; ++series)
        for (int maker = 0; maker <= 10; ++maker)
            for (char capacity = 'J'; capacity <= 'S'; ++capacity) {
                if (series == 5 && maker == 1 && capacity == 'P') continue;
                const auto it = expected.find({series, maker, capacity});
                EXPECT_EQ(FlashPartName(Key(series, maker, capacity)), it == expected.end() ? "" : it->second)
                    << series << " " << maker << " " << capacity;
            }
}

TEST(FlashPartName, SeriesOutsideTheTableIsNonIsp) {
    for (int series : {0, 11, 255})
        for (int maker : {1, 2, 8}) EXPECT_EQ(FlashPartName(Key(series, maker, 'O')), "Non-ISP");
}

TEST(FlashPartName, PackageCountChoosesAmongTheDualParts) {
    const std::pair<int, const char*> cases[] = {
        {0, "Non-ISP"}, {1, "K9LAG08U1M*1(ULGA)"}, {2, "K9LAG08U1M*2(ULGA)"}, {3, "Non-ISP"}};
    for (const auto& [packages, name] : cases) EXPECT_EQ(FlashPartName(Key(5, 1, 'P', packages)), name);
    // Byte 4 matters for no other key.
    EXPECT_EQ(FlashPartName(Key(6, 1, 'P', 2)), "K9GAG08U0M");
}

TEST(FlashPartName, LookalikeNamesStayDistinct) {
    EXPECT_EQ(FlashPartName(Key(1, 3, 'M')), "HN29V2G74W30");
    EXPECT_EQ(FlashPartName(Key(2, 3, 'M')), "HN29V2G74WT-30");
    EXPECT_EQ(FlashPartName(Key(3, 3, 'M')), "HN29V2G74WT-30C");
    EXPECT_EQ(FlashPartName(Key(5, 2, 'O')), "HY27UT088G2M-o");
    EXPECT_EQ(FlashPartName(Key(1, 1, 'K')), "");
    EXPECT_EQ(FlashPartName(Key(5, 1, 'L')), "");
}

}  // namespace
}  // namespace nv::ravix
