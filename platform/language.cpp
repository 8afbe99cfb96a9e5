#include "platform/language.h"

#include "platform/env.h"

namespace nv::platform {

std::uint16_t LangIdFromLocale(std::string_view locale) {
    struct Row { std::string_view prefix; std::uint16_t id; };
    static constexpr Row rows[] = {
        {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},
        {"zh_MO", 0x1404}, {"zh_CN", 0x0804}, {"ja_JP", 0x0411},
    };
    for (const Row& r : rows)
        if (locale.starts_with(r.prefix)) return r.id;
    return 0x0409;
}

std::uint16_t SystemDefaultLangId() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (auto v = GetEnv(name)) return LangIdFromLocale(*v);
    return 0x0409;
}

}  // namespace nv::platform
