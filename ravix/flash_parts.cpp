#include "ravix/flash_parts.h"

#include <array>
#include <cstring>

namespace nv::ravix {
namespace {

struct Part {
    std::uint8_t series, maker;
    char capacity;
    const char* name;
};

// Key (series, maker, capacity letter); the names exactly as the makers
// print them, suffixes included.
constexpr Part kParts[] = {
    {1, 1, 'L', "K9F1G08U0A"}, {1, 1, 'M', "K9F2G08U0M"}, {1, 1, 'N', "K9K4G08U0M"}, {1, 1, 'O', "K9W8G08U0M"},
    {1, 1, 'P', "K9WAG08U1M"}, {1, 1, 'Q', "K9MBG08U5M"}, {1, 1, 'R', "K9MCG08U5M"},
    {1, 2, 'L', "HY27UF081G2M"}, {1, 2, 'M', "HY27UF082G2M"}, {1, 2, 'N', "HY27UG084G2M"},
    {1, 2, 'O', "HY27UH088G2M"}, {1, 2, 'P', "HY27UH08AG5M"}, {1, 2, 'Q', "HY27UW08BGFM"},
    {1, 3, 'K', "HN29V51211T-50"}, {1, 3, 'L', "HN29V1G91T-30"}, {1, 3, 'M', "HN29V2G74W30"},
    {1, 3, 'N', "R1FV04G13RSA-3"}, {1, 3, 'O', "R1FV08G15RLG-2"},
    {1, 4, 'M', "MT29F2G08AAB"}, {1, 4, 'N', "MT29F4G08BAB"}, {1, 4, 'O', "MT29F8G08FAB"},
    {1, 4, 'P', "MT29F16G08QAAWC"}, {1, 4, 'Q', "MT29F32G08TAAWC"},
    {1, 5, 'M', "29F02G08AANB3"}, {1, 5, 'N', "29F04G08AANB1"}, {1, 5, 'O', "29F08G08BANB1"},
    {1, 5, 'P', "29F16G08CAMB2"},
    {1, 6, 'Q', "TH58NVG5D4CTG20"},
    {1, 7, 'L', "P1U1GR30AT-G30CB"}, {1, 7, 'N', "P1U4GR30CT-G30CA"},
    {1, 9, 'M', "F56SSMP-0S0"}, {1, 9, 'N', "F12MSAP-0S01"},
    {2, 1, 'L', "K9F1G08U0M"}, {2, 1, 'M', "K9K2G08U0M"}, {2, 1, 'N', "K9W4G08U1M"}, {2, 1, 'O', "K9W8G08U1M"},
    {2, 1, 'P', "K9HAG08U1M"}, {2, 1, 'Q', "K9NBG08U5M"},
    {2, 2, 'L', "HY27UA081G1M"}, {2, 2, 'M', "HY27UG082G2M"}, {2, 2, 'N', "HY27UH084G2M"},
    {2, 2, 'O', "HY27UU088G5M"}, {2, 2, 'P', "HY27UV08AG5M"}, {2, 2, 'Q', "HY27UV08BG5M"},
    {2, 3, 'K', "HN29V51211T-50H"}, {2, 3, 'L', "HN29V1G91T-30V"}, {2, 3, 'M', "HN29V2G74WT-30"},
    {2, 3, 'N', "R1FV04G13RSA-2"},
    {2, 4, 'M', "MT29F2G08AAC"}, {2, 4, 'N', "MT29F4G08AAA"}, {2, 4, 'O', "MT29F8G08BAA"},
    {2, 5, 'M', "29F02G08AANA2"}, {2, 5, 'N', "29F04G08BANB3"}, {2, 5, 'O', "29F08G08FANB3"},
    {2, 7, 'N', "P1U4GR30CT-G45CA"},
    {2, 9, 'M', "F56SSMY-0S0"}, {2, 9, 'N', "F4GMSAP-0S01"},
    {3, 1, 'L', "K9K1G08U0M"}, {3, 1, 'M', "K9K2G08U0A"}, {3, 1, 'N', "K9G4G08U0M"}, {3, 1, 'O', "K9L8G08U0M"},
    {3, 1, 'P', "K9LAG08U0M"}, {3, 1, 'Q', "K9NBG08U5A"},
    {3, 2, 'L', "HY27UA081G4M"}, {3, 2, 'M', "HY27UB082G4M"}, {3, 2, 'N', "HY27UT084G2M"},
    {3, 2, 'O', "HY27UG088G5M"}, {3, 2, 'P', "HY27UU08AG5M"},
    {3, 3, 'K', "HN29V51291AT-30"}, {3, 3, 'L', "HN29V1G91T-30C"}, {3, 3, 'M', "HN29V2G74WT-30C"},
    {3, 4, 'O', "MT29F8G08FAC"},
    {3, 5, 'O', "29F08G08CANB2"},
    {3, 9, 'M', "F2GSSAP"},
    {4, 1, 'L', "K9F1G08U0B"}, {4, 1, 'M', "K9K2G08U1A"}, {4, 1, 'N', "K9F4G08U0M"}, {4, 1, 'O', "K9K8G08U0M"},
    {4, 1, 'P', "K9WAG08U1A"}, {4, 1, 'Q', "K9HBG08U1M"},
    {4, 2, 'L', "HY27UF081G2A"}, {4, 2, 'M', "HY27UF082G2A"}, {4, 2, 'N', "HY27UF084G2M"},
    {4, 2, 'O', "HY27UT088G2M"},
    {4, 4, 'O', "MT29F8G08MAAWC"},
    {4, 5, 'O', "29F08G08AAMB2"},
    {5, 1, 'K', "K9F1208U0C"}, {5, 1, 'M', "K9F2G08U0A"}, {5, 1, 'N', "K9K4G08U1M"}, {5, 1, 'O', "K9K8G08U0A"},
    {5, 1, 'Q', "K9HBG08U1M(ULGA)"},
    {5, 2, 'O', "HY27UT088G2M-o"},
    {6, 1, 'N', "K9F4G08U0A"}, {6, 1, 'O', "K9G8G08U0M"}, {6, 1, 'P', "K9GAG08U0M"}, {6, 1, 'Q', "K9WBG08U1M"},
    {7, 1, 'N', "K9G4G08U0A"}, {7, 1, 'O', "K9K8G08U1M"}, {7, 1, 'P', "K9KAG08U0M"},
    {8, 1, 'O', "K9L8G08U0A"},
    {9, 1, 'O', "K9G8G08U0M(ULGA)"},
    {10, 1, 'O', "K9F8G08U0M"},
};

constexpr const char* kNonIsp = "Non-ISP";

}  // namespace

std::string FlashPartName(std::span<const std::uint8_t, kFlashDescriptorSize> d) {
    const std::uint8_t maker = d[1], series = d[3];
    const char capacity = static_cast<char>(d[2]);
    if (series < 1 || series > 10) return kNonIsp;
    // The one key whose part depends on the number of packages.
    if (series == 5 && maker == 1 && capacity == 'P') {
        if (d[4] == 1) return "K9LAG08U1M*1(ULGA)";
        if (d[4] == 2) return "K9LAG08U1M*2(ULGA)";
        return kNonIsp;
    }
    for (const Part& p : kParts)
        if (p.series == series && p.maker == maker && p.capacity == capacity) return p.name;
    return {};
}

}  // namespace nv::ravix
