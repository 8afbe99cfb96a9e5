#include "launcher/main_form.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

using namespace nv::launcher;

namespace {

const std::string kTests = std::string(NV_BIN_DIR) + "/../tests/";

class RecordingView : public MainFormView {
public:
    void SetCaption(const std::string& c) override { caption = c; }
    void SetMenuCaptions(const std::string& h, const std::string& a) override { help = h, about = a; }
    void SetButtonCaptions(const std::string& s, const std::string& e) override { start = s, exit = e; }
    void SetButtonFontPoints(int p) override { points = p; }
    int ProgressMin() const override { return 0; }
    int ProgressMax() const override { return 100; }
    int ProgressPosition() const override { return position; }
    void SetProgressPosition(int p) override {
        position = p;
        positions.push_back(p);
    }
    void ShowInformation(const std::string& t) override { messages.push_back("information:" + t); }
    void ShowError(const std::string& t) override { messages.push_back("error:" + t); }
    void ShowMessageBox(const std::string& c, const std::string& t) override { messages.push_back(c + ":" + t); }

    std::string caption, help, about, start, exit;
    int points = 0;
    int position = 0;
    std::vector<int> positions;
    std::vector<std::string> messages;
};

// Libraries by the names the launcher asks for; program starts recorded.
class FakeSystem : public LauncherSystem {
public:
    std::uint16_t SystemDefaultLangID() override { return lang; }
    std::uint32_t PlatformId() override { return 2; }
    std::unique_ptr<nv::platform::Library> LoadLibrary(const std::string& name) override {
        auto it = libraries.find(name);
        if (it == libraries.end() || it->second.empty()) return nullptr;
        return nv::platform::Library::Load(it->second);
    }
    unsigned WinExec(const std::string& file, int show) override {
        starts.push_back("WinExec " + file + " " + std::to_string(show));
        return winexec_result;
    }
    bool ShellExecuteEx(const std::string& file) override {
        starts.push_back("ShellExecuteEx " + file);
        return shell_result;
    }
    nv::platform::Clock& Clock() override { return clock; }

    std::uint16_t lang = 0x0409;
    std::map<std::string, std::string> libraries = {
        {"Language\\English.dll", std::string(NV_BIN_DIR) + "/Language/English.so"},
        {"Language\\TChinese.dll", std::string(NV_BIN_DIR) + "/Language/TChinese.so"},
        {"NorvalynDLL.dll", kTests + "FakeProbe.so"},
    };
    unsigned winexec_result = 33;
    bool shell_result = true;
    std::vector<std::string> starts;
    nv::platform::VirtualClock clock;
};

int fake_calls(int which) {
    static auto lib = nv::platform::Library::Load(kTests + "FakeProbe.so");
    return lib->Function<int (*)(int)>("FakeProbeCalls")(which);
}

struct Launcher {
    RecordingView view;
    FakeSystem system;
    MainForm form{view, system};
};

}  // namespace

TEST(Dispatch, RulesInOrder) {
    struct Case { const char* vid; const char* pid; std::optional<RepairTool> tool; };
    const Case cases[] = {
        {"058F", "6387", RepairTool::Ravix},  {"058F", "9380", RepairTool::Ravix},
        {"0457", "0151", RepairTool::Kolmar}, {"1307", "0163", RepairTool::Kolmar},
        {"090C", "0000", RepairTool::Dax},    {"ABCD", "1000", RepairTool::Dax},
        {"058F", "1000", RepairTool::Dax},    {"0457", "0150", std::nullopt},
        {"1307", "1169", std::nullopt},       {"0C76", "1234", std::nullopt},
        {"058F", "0000", std::nullopt},       {"058f", "6387", std::nullopt},
        {"", "", std::nullopt},
    };
    for (const Case& c : cases) {
        nv::VIDPIDINFO r;
        r.VID = c.vid;
        r.PID = c.pid;
        EXPECT_EQ(DispatchTable(r), c.tool) << c.vid << "/" << c.pid;
    }
}

TEST(Dispatch, LanguagePackBySystemLanguage) {
    for (std::uint16_t id : {0x0404, 0x0C04, 0x1004, 0x1404}) EXPECT_STREQ(LanguagePackFor(id), "Language\\TChinese.dll") << id;
    for (std::uint16_t id : {0x0804, 0x0409, 0x0411, 0x0407}) EXPECT_STREQ(LanguagePackFor(id), "Language\\English.dll") << id;
}

TEST(FormCreate, CaptionsFromTheEnglishPack) {
    Launcher l;
    ASSERT_TRUE(l.form.FormCreate());
    EXPECT_EQ(l.view.caption, "Norvalyn Recovery Tool v1.0.12");
    EXPECT_EQ(l.view.help, "&Help");
    EXPECT_EQ(l.view.about, "&About Norvalyn Recovery Tool...");
    EXPECT_EQ(l.view.start, "&Start");
    EXPECT_EQ(l.view.exit, "E&xit");
    EXPECT_EQ(l.view.points, 10);
    EXPECT_EQ(LauncherWordings()[nv::kWordMoreThanOne].view().substr(0, 27), "\nMore than one USB device f");
}

TEST(FormCreate, ChineseSystemsAndMissingPacks) {
    Launcher tw;
    tw.system.lang = 0x0404;
    ASSERT_TRUE(tw.form.FormCreate());
    EXPECT_EQ(tw.form.LanguagePack(), "Language\\TChinese.dll");
    EXPECT_EQ(tw.view.caption, "Norvalyn 修復工具 v1.0.12");

    Launcher fallback;  // Traditional Chinese pack missing: English still works
    fallback.system.lang = 0x0C04;
    fallback.system.libraries["Language\\TChinese.dll"] = "";
    ASSERT_TRUE(fallback.form.FormCreate());
    EXPECT_EQ(fallback.view.caption, "Norvalyn Recovery Tool v1.0.12");

    Launcher none;
    none.system.libraries["Language\\English.dll"] = "";
    EXPECT_FALSE(none.form.FormCreate());
    ASSERT_EQ(none.view.messages.size(), 1u);
    EXPECT_NE(none.view.messages[0].find("Language\\English.dll"), std::string::npos);

    Launcher wrong;  // a library without loadWordings is never called into
    wrong.system.libraries["Language\\English.dll"] = kTests + "FakeProbe.so";
    EXPECT_FALSE(wrong.form.FormCreate());
}

TEST(Start, CountsAndFailuresGiveTheirMessages) {
    struct Case { const char* count; bool vidpid_fails; const char* message; bool vidpid_called; };
    const Case cases[] = {
        {"0", false, "information:\nThere have no any Norvalyn found, please check again.", false},
        {"3", false, "information:\nMore than one USB device found, please remove other USB device and stay one "
                     "Norvalyn which you want to repair, then press Start.", false},
        {"2", false, "information:\nMore than one USB device found, please remove other USB device and stay one "
                     "Norvalyn which you want to repair, then press Start.", false},
        {"-1", false, "information:\nGet USB device information failed!", false},
        {"1", true, "information:\nGet USB device information failed!", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        nv::test::ScopedEnv count("NV_FAKE_COUNT", c.count);
        std::optional<nv::test::ScopedEnv> fails;
        if (c.vidpid_fails) fails.emplace("NV_FAKE_VIDPID_FAILS", "1");
        Launcher l;
        ASSERT_TRUE(l.form.FormCreate());
        int before = fake_calls(1);
        l.form.OkBtnClick();
        EXPECT_EQ(l.view.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(fake_calls(1) - before, c.vidpid_called ? 1 : 0);
        EXPECT_TRUE(l.system.starts.empty());
        EXPECT_TRUE(l.view.positions.empty());
    }
}

TEST(Start, IdentifiersPickTheProgramAndHowItStarts) {
    struct Case { const char* vid; const char* pid; const char* start; };
    const Case cases[] = {
        {"058F", "6387", "WinExec Recovery_RAVIX.exe 5"},
        {"058F", "9380", "WinExec Recovery_RAVIX.exe 5"},
        {"0457", "0151", "ShellExecuteEx Recovery_KOLMAR.exe"},
        {"1307", "0163", "ShellExecuteEx Recovery_KOLMAR.exe"},
        {"090C", "0000", "WinExec Recovery_DAX.exe 5"},
        {"ABCD", "1000", "WinExec Recovery_DAX.exe 5"},
        {"058F", "1000", "WinExec Recovery_DAX.exe 5"},
        {"0457", "0150", nullptr},
        {"1307", "1169", nullptr},
        {"0C76", "1234", nullptr},
        {"058F", "0000", nullptr},
        {"058f", "6387", nullptr},
    };
    nv::test::ScopedEnv count("NV_FAKE_COUNT", "1");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.vid) + "/" + c.pid);
        nv::test::ScopedEnv vid("NV_FAKE_VID", c.vid);
        nv::test::ScopedEnv pid("NV_FAKE_PID", c.pid);
        Launcher l;
        ASSERT_TRUE(l.form.FormCreate());
        l.form.OkBtnClick();
        if (c.start) {
            EXPECT_EQ(l.system.starts, std::vector<std::string>{c.start});
            EXPECT_TRUE(l.view.messages.empty());
            // 100 steps of 10 ms, the bar up to 100, then back to 0.
            EXPECT_EQ(l.system.clock.SleptMs(), 1000u);
            ASSERT_EQ(l.view.positions.size(), 101u);
            EXPECT_EQ(l.view.positions[99], 100);
            EXPECT_EQ(l.view.positions.back(), 0);
        } else {
            EXPECT_TRUE(l.system.starts.empty());
            EXPECT_EQ(l.view.messages,
                      std::vector<std::string>{"information:\nThe UFD cannot use this program to repair.\n\nPlease check again."});
        }
    }
}

TEST(Start, OnlyAFailedKolmarStartIsReported) {
    nv::test::ScopedEnv count("NV_FAKE_COUNT", "1");
    {
        nv::test::ScopedEnv vid("NV_FAKE_VID", "1307"), pid("NV_FAKE_PID", "0163");
        Launcher l;
        l.system.shell_result = false;
        ASSERT_TRUE(l.form.FormCreate());
        l.form.OkBtnClick();
        EXPECT_EQ(l.view.messages, std::vector<std::string>{"Operation Error!:Could not run program 'Recovery_KOLMAR.exe'"});
        EXPECT_EQ(l.view.position, 0);
    }
    {
        nv::test::ScopedEnv vid("NV_FAKE_VID", "058F"), pid("NV_FAKE_PID", "6387");
        Launcher l;
        l.system.winexec_result = 2;
        ASSERT_TRUE(l.form.FormCreate());
        l.form.OkBtnClick();
        l.form.OkBtnClick();  // pressed twice: started twice
        EXPECT_TRUE(l.view.messages.empty());
        EXPECT_EQ(l.system.starts.size(), 2u);
        EXPECT_EQ(l.view.position, 0);
    }
}

TEST(Start, MissingOrIncompleteProbeLibrary) {
    nv::test::ScopedEnv count("NV_FAKE_COUNT", "1");
    const std::string text10 = "error:\nMiss 'NorvalynDLL.dll' file.\n\nPlease re-install Norvalyn Recovery Tool.";
    Launcher missing;
    missing.system.libraries["NorvalynDLL.dll"] = "";
    ASSERT_TRUE(missing.form.FormCreate());
    missing.form.OkBtnClick();
    missing.form.OkBtnClick();  // the window stays usable
    EXPECT_EQ(missing.view.messages, (std::vector<std::string>{text10, text10}));

    Launcher incomplete;
    incomplete.system.libraries["NorvalynDLL.dll"] = kTests + "FakeProbeNoVidPid.so";
    ASSERT_TRUE(incomplete.form.FormCreate());
    incomplete.form.OkBtnClick();
    EXPECT_EQ(incomplete.view.messages, std::vector<std::string>{text10});
    EXPECT_TRUE(incomplete.system.starts.empty());
}
