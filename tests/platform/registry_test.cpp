#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace nv::platform::reg;

namespace {

Registry parse(std::string_view text) {
    Registry r;
    std::string error;
    EXPECT_TRUE(ParseRegText(text, r, &error)) << error;
    return r;
}

std::string text_of(const Registry& r, Hive hive, const char* key, const char* value) {
    const Key* k = r.Root(hive).Find(key);
    if (!k) return "<no key>";
    const Value* v = k->Get(value);
    if (!v) return "<no value>";
    return std::string(reinterpret_cast<const char*>(v->data.data()));
}

}  // namespace

TEST(RegFile, ReadsTheEditorFormat) {
    Registry r = parse(
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; exported by hand\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum]\r\n"
        "\"Count\"=dword:00000002\r\n"
        "\"0\"=\"USB\\\\Vid_058f&Pid_6387\\\\0123\"\r\n"
        "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
        "@=\"default\"\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "  03,ff\r\n"
        "\"Gone\"=\"x\"\r\n"
        "\"Gone\"=-\r\n"
        "\r\n"
        "[HKEY_DYN_DATA\\Config Manager\\Enum\\C29A6F40]\r\n"
        "\"HardWareKey\"=\"USB\\\\VID_0457&PID_0150\\\\5&1\"\r\n");
    const char* usbstor = "SYSTEM\\CurrentControlSet\\Services\\USBSTOR\\Enum";
    EXPECT_EQ(text_of(r, Hive::LocalMachine, usbstor, "0"), "USB\\Vid_058f&Pid_6387\\0123");
    EXPECT_EQ(text_of(r, Hive::LocalMachine, usbstor, "quote"), "say \"hi\"");
    EXPECT_EQ(text_of(r, Hive::LocalMachine, usbstor, ""), "default");
    const Key* k = r.Root(Hive::LocalMachine).Find("system\\currentcontrolset\\services\\usbstor\\enum");
    ASSERT_NE(k, nullptr);  // key names are case-insensitive
    EXPECT_EQ(k->Get("Count")->type, REG_DWORD);
    EXPECT_EQ(k->Get("Count")->data, (std::vector<std::uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(k->Get("Bin")->data, (std::vector<std::uint8_t>{1, 2, 3, 0xFF}));
    EXPECT_EQ(k->Get("Gone"), nullptr);
    EXPECT_EQ(text_of(r, Hive::DynData, "Config Manager\\Enum\\C29A6F40", "HardWareKey"), "USB\\VID_0457&PID_0150\\5&1");
}

TEST(RegFile, ReadsUtf16WithBom) {
    std::string ascii = "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"x\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : ascii) {
        utf16 += c;
        utf16 += '\0';
    }
    Registry r = parse(utf16);
    EXPECT_EQ(text_of(r, Hive::LocalMachine, "A", "v"), "x");
}

TEST(RegFile, RejectsWhatItCannotRead) {
    const char* bad[] = {
        "",
        "not a registry\n[HKEY_LOCAL_MACHINE\\A]\n",
        "REGEDIT4\n\"v\"=\"outside a key\"\n",
        "REGEDIT4\n[HKEY_NOWHERE\\A]\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"unterminated\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:1g\n",
    };
    for (const char* text : bad) {
        Registry r;
        std::string error;
        EXPECT_FALSE(ParseRegText(text, r, &error)) << text;
        EXPECT_FALSE(error.empty());
    }
    Registry r;
    std::string error;
    EXPECT_FALSE(LoadRegFile("/nonexistent/file.reg", r, &error));
}

TEST(RegistryCalls, BehaveAsThePlatformsDo) {
    Registry r;
    Key& k = r.Root(Hive::LocalMachine).Ensure("A\\B");
    k.Set("s", Value::String("hello"));
    k.Ensure("Sub1");
    k.Ensure("Sub2");
    HKEY h = nullptr;
    ASSERT_EQ(r.RegOpenKey(r.RootHandle(Hive::LocalMachine), "a\\b", &h), ERROR_SUCCESS);
    EXPECT_EQ(r.RegOpenKey(r.RootHandle(Hive::LocalMachine), "A\\C", &h), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(r.RegOpenKey(r.RootHandle(Hive::LocalMachine), "A\\B", &h), ERROR_SUCCESS);

    std::uint32_t size = 0, type = 0;
    EXPECT_EQ(r.RegQueryValueEx(h, "s", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(r.RegQueryValueEx(h, "missing", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

    // Too small a buffer: what fits, still terminated, and the full size back.
    char small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof small;
    EXPECT_EQ(r.RegQueryValueEx(h, "s", nullptr, reinterpret_cast<std::uint8_t*>(small), &size), ERROR_MORE_DATA);
    EXPECT_STREQ(small, "hel");
    EXPECT_EQ(size, 6u);

    char name[256];
    std::uint32_t name_size = sizeof name;
    EXPECT_EQ(r.RegEnumKeyEx(h, 1, name, &name_size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Sub2");
    name_size = sizeof name;
    EXPECT_EQ(r.RegEnumKeyEx(h, 2, name, &name_size), ERROR_NO_MORE_ITEMS);
    name_size = 3;
    EXPECT_EQ(r.RegEnumKeyEx(h, 0, name, &name_size), ERROR_MORE_DATA);
}
