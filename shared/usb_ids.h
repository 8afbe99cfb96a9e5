// USB identifier texts: four upper-case hexadecimal characters ("058F"),
// compared as exact, case-sensitive texts wherever the system decides on them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nv::usb {

inline constexpr std::string_view kRavixVid = "058F";
inline constexpr std::string_view kKolmarVid = "1307";
inline constexpr std::string_view kKolmarAltVid = "0457";
inline constexpr std::string_view kDaxVid = "090C";

// 0x058f -> "058F".
std::string IdText(std::uint16_t id);

// "058f", "058F", "0x058f\n" (as sysfs reports it) -> 0x058F; nullopt for anything else.
std::optional<std::uint16_t> ParseId(std::string_view text);

}  // namespace nv::usb
