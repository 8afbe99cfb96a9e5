// The system default language identifier, from the locale:
// zh_TW 0x0404, zh_HK 0x0C04, zh_SG 0x1004, zh_MO 0x1404, zh_CN 0x0804,
// ja_JP 0x0411, anything else 0x0409. LC_ALL, LC_MESSAGES, LANG in that order.
#pragma once

#include <cstdint>
#include <string_view>

namespace nv::platform {

std::uint16_t LangIdFromLocale(std::string_view locale);
std::uint16_t SystemDefaultLangId();

inline std::uint16_t PrimaryLang(std::uint16_t id) { return id & 0x3FF; }
inline std::uint16_t SubLang(std::uint16_t id) { return id >> 10; }

}  // namespace nv::platform
