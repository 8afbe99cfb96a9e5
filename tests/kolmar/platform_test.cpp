// The platform pieces start-up relies on: named mutex, window socket, file
// attributes, the raw I/O capability and a copy over a running program.
#include "platform/admin.h"
#include "platform/copy_file.h"
#include "platform/file_attributes.h"
#include "platform/named_mutex.h"
#include "platform/window_socket.h"
#include "tests/kolmar/temp_dir.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

extern char** environ;

namespace nv::platform {
namespace {

namespace fs = std::filesystem;
using kolmar::testing::ReadFile;
using kolmar::testing::ScratchDir;
using kolmar::testing::WriteFile;

class Session : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("NORVALYN_SESSION", ("platform-test-" + std::to_string(::getpid())).c_str(), 1); }
    void TearDown() override { ::unsetenv("NORVALYN_SESSION"); }
};

TEST_F(Session, NamedMutexExistsWhileItsHolderLives) {
    NamedMutex a, b;
    EXPECT_EQ(a.Create("Zadada"), NamedMutex::Result::Created);
    EXPECT_EQ(b.Create("Zadada"), NamedMutex::Result::AlreadyExists);
    EXPECT_FALSE(b.Held());
    EXPECT_EQ(b.Create("Other"), NamedMutex::Result::Created);
    a.Release();
    EXPECT_EQ(b.Create("Zadada"), NamedMutex::Result::Created);

    // Another session does not see it.
    ::setenv("NORVALYN_SESSION", "elsewhere-test", 1);
    NamedMutex c;
    EXPECT_EQ(c.Create("Zadada"), NamedMutex::Result::Created);
    EXPECT_EQ(c.Create(std::string(200, 'n')), NamedMutex::Result::Failed);
}

TEST_F(Session, WindowIsFoundRaisedAndClosedByTitle) {
    EXPECT_FALSE(FindWindow("Krescue"));
    EXPECT_FALSE(RaiseWindow("Krescue"));

    std::mutex m;
    std::vector<std::string> commands;
    {
        WindowEndpoint window;
        ASSERT_TRUE(window.Open("Krescue", [&](std::string_view c) {
            std::lock_guard lock(m);
            commands.emplace_back(c);
        }));
        WindowEndpoint same_title;
        EXPECT_FALSE(same_title.Open("Krescue", {}));
        EXPECT_TRUE(FindWindow("Krescue"));
        EXPECT_FALSE(FindWindow("krescue"));
        EXPECT_TRUE(RaiseWindow("Krescue"));
        EXPECT_TRUE(CloseWindow("Krescue"));
    }
    EXPECT_FALSE(FindWindow("Krescue"));
    std::lock_guard lock(m);
    // A bare search sends nothing.
    EXPECT_EQ(commands, (std::vector<std::string>{"raise", "close"}));
}

TEST(FileAttributes, ReadOnlyBitIsTheWritePermission) {
    ScratchDir dir;
    fs::path f = dir.path() / "f";
    WriteFile(f, "x");
    EXPECT_EQ(GetFileAttributes(f), kFileAttributeArchive);
    ASSERT_TRUE(SetFileAttributes(f, kFileAttributeReadOnly | kFileAttributeArchive));
    EXPECT_EQ(GetFileAttributes(f), kFileAttributeArchive | kFileAttributeReadOnly);
    EXPECT_EQ(fs::status(f).permissions() & fs::perms::all & (fs::perms::owner_write | fs::perms::group_write |
                                                                fs::perms::others_write), fs::perms::none);
    ASSERT_TRUE(SetFileAttributes(f, kFileAttributeArchive));
    EXPECT_EQ(GetFileAttributes(f), kFileAttributeArchive);
    EXPECT_EQ(GetFileAttributes(dir.path()), kFileAttributeDirectory);
    EXPECT_EQ(GetFileAttributes(dir.path() / "missing"), kInvalidFileAttributes);
    EXPECT_FALSE(SetFileAttributes(dir.path() / "missing", kFileAttributeArchive));
}

TEST(Admin, RawIoCapabilityFromProcStatus) {
    struct Case {
        const char* status;
        bool raw_io;
    } cases[] = {
        {"Name:\tx\nCapInh:\t0000000000000000\nCapEff:\t0000000000020000\n", true},
        {"CapEff:\t000001ffffffffff\n", true},
        {"CapEff:\t0000000000000000\n", false},
        {"CapEff:\t000000000001ffff\n", false},
        {"CapPrm:\t0000000000020000\nCapEff:\t0000000000000000", false},
        {"CapEff:\tzz\n", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(StatusHasRawIo(c.status), c.raw_io) << c.status;
}

TEST(CopyFile, RunningProgramCannotBeOverwritten) {
    ScratchDir dir;
    fs::path prog = dir.path() / "sleeper";
    ASSERT_TRUE(CopyFile("/bin/sleep", prog.string(), false));
    EXPECT_FALSE(CopyFile("/bin/sleep", prog.string(), true)) << "exists";

    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(prog.c_str()), const_cast<char*>("30"), nullptr};
    ASSERT_EQ(::posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv, environ), 0);
    // posix_spawn returns once the program runs from the file.
    EXPECT_FALSE(CopyFile("/bin/true", prog.string(), false));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(CopyFile("/bin/true", prog.string(), false));
    EXPECT_EQ(ReadFile(prog), ReadFile("/bin/true"));
}

}  // namespace
}  // namespace nv::platform
