#include "kolmar/app/repair_app.h"
#include "kolmar/archive/archive_writer.h"
#include "platform/named_mutex.h"
#include "platform/window_socket.h"
#include "tests/kolmar/recording_view.h"
#include "tests/kolmar/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>

namespace nv::kolmar {
namespace {

namespace fs = std::filesystem;
using testing::Box;
using testing::ReadFile;
using testing::RecordingView;
using testing::ScratchDir;
using testing::WriteFile;

const std::string kAdminEnglish = "This program can only be executed with administrative privilege!";

class FakePlatform : public RepairAppPlatform {
public:
    std::string ModuleFileName() override { return module; }
    platform::OsVersionInfo QueryOsVersion() override { return version; }
    std::uint16_t LanguageId() override { return lang; }
    bool IsUserAdmin() override { return admin; }
    bool CreateProcess(const std::string& path) override {
        started.push_back(path);
        return start_works;
    }
    bool FindAndRaiseWindow(std::string_view title) override {
        raised.emplace_back(title);
        return RepairAppPlatform::FindAndRaiseWindow(title);
    }
    std::optional<std::string> FindResource(std::string_view type, unsigned id) override {
        EXPECT_EQ(type, "BINARYFILE");
        looked_up.push_back(id);
        auto it = resources.find(id);
        if (it == resources.end()) return std::nullopt;
        return it->second;
    }

    std::string module;
    platform::OsVersionInfo version;  // XP SP3
    std::uint16_t lang = 0x0409;
    bool admin = true;
    bool start_works = true;
    std::vector<std::string> started;
    std::vector<std::string> raised;
    std::vector<unsigned> looked_up;
    std::map<unsigned, std::string> resources;
};

// Keeps the process's current directory, which the staging run changes.
class KeepCwd {
public:
    KeepCwd() : dir_(fs::current_path()) {}
    ~KeepCwd() { fs::current_path(dir_); }

private:
    fs::path dir_;
};

// Named objects of this test stay apart from any other run on the machine.
class KolmarApp : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("NORVALYN_SESSION", ("app-test-" + std::to_string(::getpid())).c_str(), 1); }
    void TearDown() override { ::unsetenv("NORVALYN_SESSION"); }

    ScratchDir tmp;
    KeepCwd cwd;
    RecordingView view;
    FakePlatform platform;
    CRepairApp app{view, platform};
    fs::path work = tmp.path() / "UfdApp";
};

TEST(KolmarStartup, OsBuildNumberForEveryFamily) {
    struct Case {
        const char* version;
        std::uint16_t build;
    } cases[] = {
        {"4.10.1998", 409},       {"4.10.2222 A", 410},    {"4.10.67766222 A", 410}, {"4.10.2222 B", 409},
        {"4.90.3000", 420},       {"9x:4.0.950", 950},      {"9x:4.3.70000", 70000 & 0xFFFF},
        {"4.0.1381", 1381},       {"5.0.2195", 2195},       {"5.1.2600", 2600},         {"6.0.6000", 6000},
        {"6.0.6001", 6001},       {"win32s:3.10.70001", 70001 & 0xFFFF},                {"noex:5.1.2600", 2600},
        {"fail", 0},
    };
    for (const auto& c : cases) {
        auto v = platform::ParseOsVersion(c.version);
        ASSERT_TRUE(v) << c.version;
        EXPECT_EQ(GetOsBuildNumber(*v), c.build) << c.version;
    }
}

TEST_F(KolmarApp, AdministratorCheckRunsOnlyWhereTheBuildAsksForIt) {
    struct Case {
        const char* version;
        std::uint16_t lang;
        std::string box;  // empty: no box, the run goes on
    } cases[] = {
        {"5.1.2600", 0x0409, kAdminEnglish},
        {"5.1.2600", 0x0404, "必須有系統管理員權限才能執行此程式"},
        {"5.1.2600", 0x0804, "必须有系统管理员权限才能执行此程式"},
        {"5.1.2600", 0x0411, kAdminEnglish},
        {"5.0.2195", 0x0409, kAdminEnglish},
        {"6.0.6001", 0x0409, kAdminEnglish},
        {"6.0.6000", 0x0409, ""},
        {"4.0.1381", 0x0409, ""},
        {"4.10.2222 A", 0x0409, ""},
        {"4.90.3000", 0x0409, ""},
    };
    platform.module = (tmp.path() / "elsewhere" / "Recovery_KOLMAR").string();
    platform.admin = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " lang " + std::to_string(c.lang));
        view.boxes.clear();
        fs::remove_all(work);
        platform.version = *platform::ParseOsVersion(c.version);
        platform.lang = c.lang;
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(OsBuildNumber, GetOsBuildNumber(platform.version));
        if (c.box.empty()) {
            EXPECT_TRUE(view.boxes.empty());
            EXPECT_TRUE(fs::is_directory(work)) << "the run went on";
        } else {
            EXPECT_EQ(view.boxes, (std::vector<Box>{{c.box, "Recovery_KOLMAR"}}));
            EXPECT_FALSE(fs::exists(work)) << "nothing is written";
        }
    }
}

TEST_F(KolmarApp, StagingCopiesItselfAsKrescueAndStartsTheCopy) {
    fs::create_directories(tmp.path() / "bin");
    platform.module = (tmp.path() / "bin" / "Recovery_KOLMAR").string();
    WriteFile(platform.module, "program file");
    ::chmod(platform.module.c_str(), 0755);

    EXPECT_FALSE(app.InitInstance());

    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(platform.started, (std::vector<std::string>{(work / "Krescue").string()}));
    EXPECT_EQ(ReadFile(work / "Krescue"), "program file");
    EXPECT_EQ(fs::status(work / "Krescue").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    EXPECT_EQ(fs::current_path(), work);
    EXPECT_TRUE(platform.looked_up.empty()) << "the staging run writes no embedded file";
}

TEST_F(KolmarApp, StagingReplacesAReadOnlyLeftover) {
    platform.module = (tmp.path() / "Recovery_KOLMAR").string();
    WriteFile(platform.module, "new program");
    fs::create_directories(work);
    WriteFile(work / "Krescue", "old program, longer");
    fs::permissions(work / "Krescue", fs::perms::owner_read | fs::perms::owner_exec);

    app.InitInstance();

    EXPECT_EQ(ReadFile(work / "Krescue"), "new program");
    EXPECT_NE(fs::status(work / "Krescue").permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(platform.started.size(), 1u);
}

TEST_F(KolmarApp, StagingFailuresEndQuietlyOrWithTheirMessage) {
    platform.module = (tmp.path() / "Recovery_KOLMAR").string();
    WriteFile(platform.module, "program");

    // A file where the work directory belongs: silent end.
    WriteFile(work, "not a directory");
    app.InitInstance();
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(platform.started.empty());
    EXPECT_EQ(ReadFile(work), "not a directory");
    fs::remove(work);

    // A work directory others may write into, or a link to one, is not used.
    fs::create_directories(tmp.path() / "shared");
    fs::permissions(tmp.path() / "shared", fs::perms::all);
    fs::create_directory_symlink(tmp.path() / "shared", work);
    app.InitInstance();
    fs::remove(work);
    fs::rename(tmp.path() / "shared", work);
    app.InitInstance();
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(platform.started.empty());
    EXPECT_FALSE(fs::exists(work / "Krescue"));
    fs::remove_all(work);

    // The copy cannot be started.
    platform.start_works = false;
    app.InitInstance();
    EXPECT_EQ(view.boxes, (std::vector<Box>{{"Create process failed!!", "Recovery_KOLMAR"}}));
}

TEST_F(KolmarApp, FailedCopyRaisesTheWorkerOnlyWhenTheMutexExists) {
    platform.module = (tmp.path() / "Recovery_KOLMAR").string();
    WriteFile(platform.module, "program");
    // A directory in the copy's place makes the copy fail, as a running worker does.
    fs::create_directories(work / "Krescue");

    std::atomic<int> raises = 0;
    platform::WindowEndpoint worker_window;
    ASSERT_TRUE(worker_window.Open("Krescue", [&](std::string_view command) {
        if (command == "raise") ++raises;
    }));

    {
        CRepairApp first(view, platform);
        first.InitInstance();
        EXPECT_TRUE(platform.raised.empty()) << "no other staging run holds the mutex";
    }
    platform::NamedMutex other_run;
    ASSERT_EQ(other_run.Create(kInstanceMutexName), platform::NamedMutex::Result::Created);
    {
        CRepairApp second(view, platform);
        second.InitInstance();
        EXPECT_EQ(platform.raised, (std::vector<std::string>{"Krescue"}));
        EXPECT_EQ(raises, 1);
        // Only the first check in a process does anything.
        EXPECT_FALSE(second.CheckOtherInstance(kInstanceMutexName));
    }
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(platform.started.empty());
}

TEST_F(KolmarApp, WorkerWritesTheEmbeddedFilesInOrderAndUnpacks) {
    fs::create_directories(work);
    platform.module = (work / "Krescue").string();
    std::string archive;
    AppendEntry(archive, "A1\\ur.bin", GzipMember("image", 5));
    AppendEntry(archive, "FP\\us.bin", GzipMember("other", 5));
    platform.resources = {{151, "library"}, {152, archive}, {153, "[Device]\r\nSelectDevice=KR450"}, {154, "esp"}};
    // Read-only leftovers of an earlier run.
    for (const char* name : {"KDLL.so", "Device.ini", "deft50.esp", "BootCode.r"}) {
        WriteFile(work / name, "stale");
        fs::permissions(work / name, fs::perms::owner_read);
    }
    std::map<std::string, std::string> at_dialog;
    view.on_dialog = [&] {
        for (auto& e : fs::recursive_directory_iterator(work / "Boot"))
            if (e.is_regular_file()) at_dialog[fs::relative(e.path(), work).generic_string()] = ReadFile(e.path());
    };

    EXPECT_FALSE(app.InitInstance());

    EXPECT_EQ(platform.looked_up, (std::vector<unsigned>{151, 153, 154, 152}));
    EXPECT_EQ(ReadFile(work / "KDLL.so"), "library");
    EXPECT_EQ(ReadFile(work / "Device.ini"), "[Device]\r\nSelectDevice=KR450");
    EXPECT_EQ(ReadFile(work / "deft50.esp"), "esp");
    EXPECT_EQ(ReadFile(work / "BootCode.r"), archive);
    EXPECT_EQ(view.dialogs, 1);
    EXPECT_EQ(at_dialog, (std::map<std::string, std::string>{{"Boot/A1/ur.bin", "image"}, {"Boot/FP/us.bin", "other"}}));
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(platform.started.empty());
}

TEST_F(KolmarApp, WorkerRunsTheDialogWhateverTheEntriesDo) {
    fs::create_directories(work);
    platform.module = (work / "Krescue").string();
    // No archive resource: an empty BootCode.r, nothing to unpack.
    app.InitInstance();
    EXPECT_EQ(ReadFile(work / "BootCode.r"), "");
    EXPECT_EQ(ReadFile(work / "KDLL.so"), "");
    EXPECT_EQ(view.dialogs, 1);
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(KolmarApp, DirectoriesCompareWithoutRegardToCase) {
    // "ufdapp" is the work directory by the text compare, but on Linux it is
    // another directory, so the archive is not where the worker looks.
    fs::create_directories(tmp.path() / "ufdapp");
    platform.module = (tmp.path() / "ufdapp" / "Krescue").string();
    platform.resources = {{152, ""}};
    app.InitInstance();
    EXPECT_TRUE(platform.started.empty()) << "acted as the worker";
    EXPECT_TRUE(fs::exists(tmp.path() / "ufdapp" / "BootCode.r"));
    EXPECT_EQ(view.boxes, (std::vector<Box>{{"Cannot open the boot code file", "Krescue"}}));
    EXPECT_EQ(view.dialogs, 0);
}

TEST(KolmarStartupHelpers, ExeDirectoryAndTitle) {
    struct Case {
        std::string module, dir, title;
    } cases[] = {
        {"/tmp/UfdApp/Krescue", "/tmp/UfdApp", "Krescue"},
        {"C:\\Temp\\UfdApp\\Krescue.exe", "C:\\Temp\\UfdApp", "Krescue"},
        {"/opt/nv/" + std::string(200, 'd') + "/Recovery_KOLMAR", "/opt/nv/" + std::string(200, 'd'), "Recovery_KOLMAR"},
        {"Krescue", ".", "Krescue"},
    };
    for (const auto& c : cases) {
        RecordingView view;
        FakePlatform platform;
        platform.module = c.module;
        CRepairApp app(view, platform);
        EXPECT_EQ(app.GetExeDirectory(), c.dir) << c.module;
        EXPECT_EQ(app.AppTitle(), c.title) << c.module;
    }
    EXPECT_TRUE(SameTextIgnoringCase("/Tmp/UFDAPP", "/tmp/ufdapp"));
    EXPECT_FALSE(SameTextIgnoringCase("/tmp/ufdapp", "/tmp/ufdapp2"));
    EXPECT_FALSE(SameTextIgnoringCase("/tmp/\xC3\x89", "/tmp/\xC3\xA9")) << "only ASCII letters fold";
}

}  // namespace
}  // namespace nv::kolmar
