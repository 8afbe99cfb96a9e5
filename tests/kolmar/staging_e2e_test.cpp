// Recovery_KOLMAR as the user starts it, in a scratch TMPDIR: the staging
// run, the worker it starts, a second start, and the odd places.
// The worker's placeholder dialog runs offscreen and is closed through its
// window socket ("close"), as a later start would raise it. Message boxes
// are printed to stderr and answered (NORVALYN_AUTOMATION), so "without a
// message" is read from there.
#include "platform/window_socket.h"
#include "tests/kolmar/temp_dir.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <sstream>
#include <map>
#include <thread>

extern char** environ;

namespace nv::kolmar {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

const fs::path kProgram = fs::path(NV_BIN_DIR) / "Recovery_KOLMAR";

template <class F>
bool WaitFor(F done, std::chrono::milliseconds limit = 20s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class KolmarStaging : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("NORVALYN_SESSION", ("e2e-" + std::to_string(::getpid())).c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // The build that skips the rights check, so the test runs for any user.
        ::setenv("NORVALYN_OS_VERSION", "6.0.6000", 1);
        // A step that does nothing: what matters is that boxes are printed and answered.
        ::setenv("NORVALYN_AUTOMATION", "wait 0", 1);
    }
    void TearDown() override {
        platform::CloseWindow("Krescue");
        WaitFor([] { return !platform::FindWindow("Krescue"); }, 5s);
    }

    // Starts the program with stderr going to a file.
    pid_t Start(const fs::path& program) {
        pid_t pid = 0;
        std::string path = program.string();
        std::string err = (tmp.path() / ("stderr-" + std::to_string(++runs_))).string();
        last_stderr_ = err;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char* argv[] = {path.data(), nullptr};
        int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }
    // The message boxes of the last run, as automation printed them.
    std::vector<std::string> Boxes() {
        std::vector<std::string> boxes;
        std::istringstream in(ReadFile(last_stderr_));
        for (std::string line; std::getline(in, line);)
            if (line.starts_with("message: ")) boxes.push_back(line.substr(9));
        return boxes;
    }

    // Runs the program and waits for it; -1 when it did not end in time.
    int Run(const fs::path& program, std::chrono::milliseconds limit = 15s) {
        pid_t pid = Start(program);
        if (pid < 0) return -2;
        int status = 0;
        bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
    }

    ScratchDir tmp;
    fs::path work = tmp.path() / "UfdApp";
    int runs_ = 0;
    std::string last_stderr_;
};

std::map<std::string, std::uintmax_t> BootSizes(const fs::path& boot) {
    std::map<std::string, std::uintmax_t> sizes;
    for (auto& e : fs::recursive_directory_iterator(boot))
        if (e.is_regular_file()) sizes[fs::relative(e.path(), boot).generic_string()] = e.file_size();
    return sizes;
}

TEST_F(KolmarStaging, FirstStartStagesAndTheWorkerUnpacksThenASecondStartEndsQuietly) {
    ASSERT_TRUE(fs::exists(kProgram));
    EXPECT_EQ(Run(kProgram), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(fs::is_directory(work));
    EXPECT_EQ(ReadFile(work / "Krescue"), ReadFile(kProgram));

    // The dialog opens only after everything is written and unpacked.
    ASSERT_TRUE(WaitFor([] { return platform::FindWindow("Krescue"); })) << "the worker's dialog did not open";
    std::vector<fs::path> staged = {work / "KDLL.so", work / "Device.ini", work / "deft50.esp", work / "BootCode.r"};
    for (std::size_t i = 0; i < staged.size(); ++i) {
        ASSERT_TRUE(fs::exists(staged[i])) << staged[i];
        if (i > 0) {
            EXPECT_LE(fs::last_write_time(staged[i - 1]), fs::last_write_time(staged[i])) << staged[i];
        }
    }
    EXPECT_EQ(ReadFile(work / "Device.ini"), "[Device]\r\nSelectDevice=KR450");
    EXPECT_EQ(ReadFile(work / "KDLL.so"), ReadFile(fs::path(NV_BIN_DIR) / "KDLL.so"));
    auto sizes = BootSizes(work / "Boot");
    EXPECT_EQ(sizes.size(), 39u);
    EXPECT_EQ(sizes["BCD/font.bin"], 1052u);
    EXPECT_EQ(sizes["BCD/us.bin"], 131072u);
    EXPECT_EQ(sizes["FP/ust.bin"], 65536u);
    EXPECT_LE(fs::last_write_time(work / "BootCode.r"), fs::last_write_time(work / "Boot" / "FP" / "ust.bin"));

    // The running worker's file cannot be replaced: the second staging run
    // ends without a box and leaves the worker be.
    auto copy_before = fs::last_write_time(work / "Krescue");
    EXPECT_EQ(Run(kProgram), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(fs::last_write_time(work / "Krescue"), copy_before);
    EXPECT_TRUE(platform::FindWindow("Krescue"));

    EXPECT_TRUE(platform::CloseWindow("Krescue"));
    EXPECT_TRUE(WaitFor([] { return !platform::FindWindow("Krescue"); }));

    // With the worker gone the next start stages afresh.
    EXPECT_EQ(Run(kProgram), 0);
    EXPECT_TRUE(WaitFor([] { return platform::FindWindow("Krescue"); }));
}

TEST_F(KolmarStaging, FileNamedUfdAppEndsTheStagingRunSilently) {
    WriteFile(work, "in the way");
    EXPECT_EQ(Run(kProgram), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(ReadFile(work), "in the way");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(platform::FindWindow("Krescue"));
}

TEST_F(KolmarStaging, StartedFromTheWorkDirectoryItActsAsTheWorker) {
    fs::create_directories(work);
    fs::copy_file(kProgram, work / "Recovery_KOLMAR");
    pid_t pid = Start(work / "Recovery_KOLMAR");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitFor([] { return platform::FindWindow("Krescue"); }));
    EXPECT_FALSE(fs::exists(work / "Krescue")) << "no copy of itself";
    EXPECT_EQ(BootSizes(work / "Boot").size(), 39u);
    EXPECT_TRUE(platform::CloseWindow("Krescue"));
    int status = 0;
    EXPECT_TRUE(WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(KolmarStaging, WorkerWithoutItsArchiveSaysSoAndEndsWithoutTheDialog) {
    // A directory where BootCode.r belongs can be neither deleted nor written.
    fs::create_directories(work / "BootCode.r");
    fs::copy_file(kProgram, work / "Krescue");
    EXPECT_EQ(Run(work / "Krescue"), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"[Krescue] Cannot open the boot code file"}));
    EXPECT_TRUE(fs::exists(work / "deft50.esp")) << "the files before it were written";
    EXPECT_FALSE(fs::exists(work / "Boot"));
}

}  // namespace
}  // namespace nv::kolmar
