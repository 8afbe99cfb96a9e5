// The launcher as a user runs it: the built PNVRecovery (offscreen, driven by
// its automation script), NorvalynDLL.so and the language packs, installed
// side by side in a folder of their own, on simulated worlds made by nvsim.
// Repair programs are stand-ins that record their start.
#include "tests/support/run.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

using nv::test::ShellQuote;

namespace {

const std::string kBin = NV_BIN_DIR;

class Installed : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(app / "Language");
        for (const char* f : {"nvrecover", "NorvalynDLL.so", "Language/English.so", "Language/TChinese.so"})
            fs::copy_file(kBin + "/" + f, app / f);
#ifdef NV_HAVE_GUI
        fs::copy_file(kBin + "/PNVRecovery", app / "PNVRecovery");
#endif
        for (const char* program : {"Recovery_RAVIX", "Recovery_KOLMAR", "Recovery_DAX"})
            dir.Write(std::string("app/") + program, std::string("#!/bin/sh\necho ") + program + " >> " + record + "\n", true);
    }

    void world(const std::string& preset) {
        auto r = nv::test::Run(ShellQuote(kBin + "/nvsim") + " create " + ShellQuote(dir / "world") + " --preset " + preset);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    std::string env(const std::string& extra = "") const {
        return "NORVALYN_SIM=" + ShellQuote(dir / "world") + " PATH=/usr/bin:/bin LANG=C " + extra;
    }

    std::string started(int wait_ms = 10000) const {
        // The stand-in creates the file before it writes its line: wait for the line.
        std::string text;
        for (int i = 0; i < wait_ms / 10; ++i) {
            text = nv::test::ReadFile(record);
            if (!text.empty() && text.back() == '\n') break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return text;
    }

    nv::test::TempDir dir;
    fs::path app = dir / "app";
    std::string record = dir / "started";
};

}  // namespace

TEST_F(Installed, ProbeInTheTerminal) {
    struct Case { const char* preset; int exit; const char* out; const char* program; };
    const Case cases[] = {
        {"ravix", 0, "count: 1\nidentifiers: VID 058F PID 6387\nstarted: Recovery_RAVIX.exe (Ravix)", "Recovery_RAVIX\n"},
        {"ravix-mouse", 0, "count: 1\nidentifiers: VID 058F PID 6387\nstarted: Recovery_RAVIX.exe (Ravix)", "Recovery_RAVIX\n"},
        {"kolmar", 0, "count: 1\nidentifiers: VID 1307 PID 0163\nstarted: Recovery_KOLMAR.exe (Kolmar)", "Recovery_KOLMAR\n"},
        {"two-drives", 1, "count: 2\nmessage (information): More than one USB device found", ""},
        {"none", 1, "count: 0\nmessage (information): There have no any Norvalyn found, please check again.", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        world(c.preset);
        fs::remove(record);
        auto r = nv::test::Run(ShellQuote((app / "nvrecover").string()) + " probe", env());
        EXPECT_EQ(r.exitCode, c.exit) << r.out << r.err;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
        EXPECT_EQ(started(*c.program ? 10000 : 300), c.program);
    }
}

TEST_F(Installed, DryRunStartsNothingAndMissingProbeLibraryIsReported) {
    world("ravix");
    auto dry = nv::test::Run(ShellQuote((app / "nvrecover").string()) + " probe --dry-run", env());
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_NE(dry.out.find("would start: Recovery_RAVIX.exe (Ravix) -> " + (app / "Recovery_RAVIX").string()), std::string::npos)
        << dry.out;
    EXPECT_EQ(started(300), "");

    fs::remove(app / "NorvalynDLL.so");
    auto missing = nv::test::Run(ShellQuote((app / "nvrecover").string()) + " probe", env());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("message (error): Miss 'NorvalynDLL.dll' file."), std::string::npos) << missing.out;
}

#ifdef NV_HAVE_GUI
TEST_F(Installed, LauncherWindowStartsTheRavixProgram) {
    world("ravix");
    auto r = nv::test::Run(ShellQuote((app / "PNVRecovery").string()),
                 env("QT_QPA_PLATFORM=offscreen NORVALYN_AUTOMATION='click OkBtn;wait 1500;quit'"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("message:"), std::string::npos) << r.err;
    EXPECT_EQ(started(), "Recovery_RAVIX\n");
}

TEST_F(Installed, LauncherWindowMessages) {
    struct Case { const char* preset; const char* remove; const char* message; };
    const Case cases[] = {
        {"none", nullptr, "message: [Information] \\nThere have no any Norvalyn found, please check again."},
        {"two-drives", nullptr, "message: [Information] \\nMore than one USB device found"},
        {"kolmar", "Recovery_KOLMAR", "message: [Operation Error!] Could not run program 'Recovery_KOLMAR.exe'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        world(c.preset);
        if (c.remove) fs::remove(app / c.remove);
        auto r = nv::test::Run(ShellQuote((app / "PNVRecovery").string()),
                     env("QT_QPA_PLATFORM=offscreen NORVALYN_AUTOMATION='click OkBtn;wait 1500;quit'"));
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(started(100), "");
}
#endif
