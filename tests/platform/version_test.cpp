#include "platform/language.h"
#include "platform/paths.h"
#include "platform/version.h"
#include "platform/env.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace nv::platform;

TEST(OsVersion, DefaultIsXpServicePack3) {
    OsVersionInfo v;
    EXPECT_EQ(v.major, 5u);
    EXPECT_EQ(v.minor, 1u);
    EXPECT_EQ(v.build, 2600u);
    EXPECT_EQ(v.platformId, kPlatformNT);
    EXPECT_EQ(v.csdVersion, "Service Pack 3");
}

TEST(OsVersion, ParsesEveryFamily) {
    struct Case {
        const char* text;
        std::uint32_t major, minor, build, platform;
        const char* csd;
    };
    const Case cases[] = {
        {"4.10.2222 A", 4, 10, 2222, kPlatform9x, " A"},
        {"4.10.1998", 4, 10, 1998, kPlatform9x, ""},
        {"4.90", 4, 90, 0, kPlatform9x, ""},
        {"4.90.3000", 4, 90, 3000, kPlatform9x, ""},
        {"4.0.950", 4, 0, 950, kPlatform9x, ""},
        {"4.0.1381", 4, 0, 1381, kPlatformNT, ""},
        {"5.0.2195", 5, 0, 2195, kPlatformNT, ""},
        {"6.0.6000", 6, 0, 6000, kPlatformNT, ""},
        {"6.1.7601 Service Pack 1", 6, 1, 7601, kPlatformNT, " Service Pack 1"},
        {"win32s:3.10.0", 3, 10, 0, kPlatformWin32s, ""},
        {"9x:4.3.1", 4, 3, 1, kPlatform9x, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto v = ParseOsVersion(c.text);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->major, c.major);
        EXPECT_EQ(v->minor, c.minor);
        EXPECT_EQ(v->build, c.build);
        EXPECT_EQ(v->platformId, c.platform);
        EXPECT_EQ(v->csdVersion, c.csd);
        EXPECT_FALSE(v->queryFails);
    }
}

TEST(OsVersion, QueryFailuresAndNonsense) {
    EXPECT_TRUE(ParseOsVersion("fail")->queryFails);
    auto noex = ParseOsVersion("noex:5.1.2600");
    ASSERT_TRUE(noex);
    EXPECT_TRUE(noex->extendedQueryFails);
    EXPECT_EQ(noex->build, 2600u);
    for (const char* bad : {"", "xp", "5", "5.", ".1", "5.x"}) EXPECT_FALSE(ParseOsVersion(bad)) << bad;
}

TEST(Language, LocaleToIdentifier) {
    struct Case { const char* locale; std::uint16_t id; };
    const Case cases[] = {
        {"zh_TW.UTF-8", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG.UTF-8", 0x1004}, {"zh_MO", 0x1404},
        {"zh_CN.UTF-8", 0x0804}, {"ja_JP.UTF-8", 0x0411}, {"en_US.UTF-8", 0x0409}, {"C", 0x0409},
        {"", 0x0409},
    };
    for (const Case& c : cases) EXPECT_EQ(LangIdFromLocale(c.locale), c.id) << c.locale;
    EXPECT_EQ(PrimaryLang(0x0C04), 0x04);
    EXPECT_EQ(SubLang(0x0C04), 0x03);
    EXPECT_EQ(SubLang(0x0804), 0x02);
}

TEST(Paths, WindowsNamesBecomeLinuxNames) {
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"Language\\English.dll", "Language/English.so"},
        {"NorvalynDLL.dll", "NorvalynDLL.so"},
        {"KDLL.DLL", "KDLL.so"},
        {"Recovery_RAVIX.exe", "Recovery_RAVIX"},
        {"C:\\Temp\\UfdApp\\Krescue.exe", "C:/Temp/UfdApp/Krescue"},
        {"Boot\\A1\\ur.bin", "Boot/A1/ur.bin"},
        {"dll", "dll"},
    };
    for (const Case& c : cases) EXPECT_EQ(NativePath(c.in), c.out) << c.in;
}

TEST(Environment, FixturesAndWorldsNeverLeadToTheMachinesNodes) {
    ::unsetenv("NORVALYN_SIM");
    ::unsetenv("NORVALYN_SYSFS_ROOT");
    EXPECT_EQ(SysfsRoot(), "/sys");
    EXPECT_EQ(DevRoot(), "/dev");
    {
        nv::test::ScopedEnv fixture("NORVALYN_SYSFS_ROOT", "/tmp/fixture/sys");
        EXPECT_EQ(SysfsRoot(), "/tmp/fixture/sys");
        EXPECT_EQ(DevRoot(), "/tmp/fixture/sys/../dev");
    }
    nv::test::ScopedEnv world("NORVALYN_SIM", "/tmp/world");
    EXPECT_EQ(SysfsRoot(), "/tmp/world/sys");
    EXPECT_EQ(DevRoot(), "/tmp/world/dev");
}
