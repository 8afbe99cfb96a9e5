// Recovery_KOLMAR as the user starts it, in a scratch TMPDIR: the staging
// run, the worker it starts, a second start, and the odd places.
// The worker's placeholder dialog runs offscreen and is closed through its
// window socket ("close"), as a later start would raise it.
#include "platform/window_socket.h"
#include "tests/kolmar/temp_dir.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
    }
    void TearDown() override {
        platform::CloseWindow("Krescue");
        WaitFor([] { return !platform::FindWindow("Krescue"); }, 5s);
    }

    // Runs the program and waits for it; -1 when it did not end in time,
    // which is what a message box waiting for its OK looks like here.
    int Run(const fs::path& program, std::chrono::milliseconds limit = 15s) {
        pid_t pid = 0;
        std::string path = program.string();
        char* argv[] = {path.data(), nullptr};
        if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return -2;
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
    // ends without a box (it would hang here) and leaves the worker be.
    auto copy_before = fs::last_write_time(work / "Krescue");
    EXPECT_EQ(Run(kProgram), 0);
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
    EXPECT_EQ(ReadFile(work), "in the way");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(platform::FindWindow("Krescue"));
}

TEST_F(KolmarStaging, StartedFromTheWorkDirectoryItActsAsTheWorker) {
    fs::create_directories(work);
    fs::copy_file(kProgram, work / "Recovery_KOLMAR");
    pid_t pid = 0;
    std::string path = (work / "Recovery_KOLMAR").string();
    char* argv[] = {path.data(), nullptr};
    ASSERT_EQ(::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ), 0);
    EXPECT_TRUE(WaitFor([] { return platform::FindWindow("Krescue"); }));
    EXPECT_FALSE(fs::exists(work / "Krescue")) << "no copy of itself";
    EXPECT_EQ(BootSizes(work / "Boot").size(), 39u);
    EXPECT_TRUE(platform::CloseWindow("Krescue"));
    int status = 0;
    EXPECT_TRUE(WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace nv::kolmar
