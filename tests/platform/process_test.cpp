#include "platform/library.h"
#include "platform/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace nv::platform;

namespace {

// Waits for a stand-in program's record of its start.
std::string wait_for(const std::string& path) {
    for (int i = 0; i < 200; ++i) {
        if (std::filesystem::exists(path)) {
            std::string s = nv::test::ReadFile(path);
            if (!s.empty()) return s;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

}  // namespace

TEST(ProgramStart, FindsByBareNameOnThePathAndStartsDetached) {
    nv::test::TempDir dir;
    std::string record = dir / "started.txt";
    dir.Write("bin/Recovery_RAVIX", "#!/bin/sh\necho \"$# $(pwd)\" > " + record + "\n", true);
    nv::test::ScopedEnv path("PATH", dir / "bin" + ":/usr/bin:/bin");

    auto found = FindProgram("Recovery_RAVIX.exe");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, dir / "bin/Recovery_RAVIX");
    EXPECT_GT(WinExec("Recovery_RAVIX.exe", 5), 31u);
    // No arguments, and the launcher's current directory.
    EXPECT_EQ(wait_for(record), "0 " + std::filesystem::current_path().string() + "\n");
}

TEST(ProgramStart, EachKindReportsAMissingProgram) {
    nv::test::TempDir dir;
    dir.Write("bin/not_executable", "data");
    nv::test::ScopedEnv path("PATH", dir / "bin");
    EXPECT_EQ(WinExec("Recovery_DAX.exe", 5), 2u);
    EXPECT_FALSE(ShellExecuteOpen("Recovery_KOLMAR.exe"));
    EXPECT_FALSE(ShellExecuteOpen("not_executable"));
    EXPECT_FALSE(CreateProcess(dir / "bin/not_executable"));
    EXPECT_FALSE(CreateProcess(dir / "nothing"));
}

TEST(LibraryLoad, MissingLibraryAndExport) {
    EXPECT_EQ(Library::Load("NoSuchLibrary.dll"), nullptr);
    EXPECT_FALSE(Library::LastLoadError().empty());
    auto pack = Library::Load(std::string(NV_BIN_DIR) + "/Language/English.so");
    ASSERT_NE(pack, nullptr);
    EXPECT_NE(pack->Symbol("loadWordings"), nullptr);
    EXPECT_EQ(pack->Symbol("GetDeviceCount"), nullptr);
}
