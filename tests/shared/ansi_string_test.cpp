#include "shared/ansi_string.h"
#include "shared/records.h"

#include <gtest/gtest.h>

using nv::AnsiString;

TEST(AnsiString, EmptyIsANullHandle) {
    AnsiString empty("");
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.RefCount(), 0);
    EXPECT_STREQ(empty.c_str(), "");
    AnsiString copy = empty;
    EXPECT_TRUE(copy.IsEmpty());
}

TEST(AnsiString, CopiesShareOneBlockUntilTheLastReleases) {
    AnsiString a("058F");
    {
        AnsiString b = a;
        AnsiString c;
        c = b;
        EXPECT_EQ(a.RefCount(), 3);
        EXPECT_EQ(c.c_str(), a.c_str());
    }
    EXPECT_EQ(a.RefCount(), 1);
    a = a;  // self-assignment keeps the text alive
    EXPECT_EQ(a, "058F");
    AnsiString moved = std::move(a);
    EXPECT_TRUE(a.IsEmpty());  // NOLINT: moved-from state is defined
    EXPECT_EQ(moved.RefCount(), 1);
}

TEST(AnsiString, UpperCaseTouchesAsciiLettersOnly) {
    EXPECT_EQ(AnsiString("0c76&pid_abcd").UpperCase(), "0C76&PID_ABCD");
    EXPECT_EQ(AnsiString("\xe9t\xe9").UpperCase(), "\xe9T\xe9");
    EXPECT_TRUE(AnsiString().UpperCase().IsEmpty());
}

TEST(AnsiString, EmbeddedTextKeepsItsLength) {
    AnsiString s(std::string_view("ab\0cd", 5));
    EXPECT_EQ(s.Length(), 5u);
    EXPECT_EQ((s + "e").Length(), 6u);
}

TEST(Records, WordingStructReleasesEveryString) {
    AnsiString shared("text");
    {
        nv::WordingStruct w;
        for (auto& t : w.Text) t = shared;
        EXPECT_EQ(shared.RefCount(), 14);
    }
    EXPECT_EQ(shared.RefCount(), 1);
}
