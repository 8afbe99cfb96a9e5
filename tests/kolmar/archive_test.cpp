#include "kolmar/archive/archive_writer.h"
#include "kolmar/archive/boot_code_archive.h"
#include "kolmar/archive/gz_file.h"
#include "tests/kolmar/recording_view.h"
#include "tests/kolmar/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <set>

namespace nv::kolmar {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RecordingView;
using testing::ScratchDir;
using testing::WriteFile;

std::vector<unsigned char> Gz(std::string_view s) { return GzipMember(s.data(), s.size()); }

std::string Entry(std::string_view name, const std::vector<unsigned char>& data) {
    std::string a;
    AppendEntry(a, name, data);
    return a;
}

// Name, marker and a length field that says more than follows.
std::string EntryWithLength(std::string_view name, std::uint32_t length, const std::vector<unsigned char>& data) {
    std::string a(name);
    a.append(EntryMarker.data(), 8);
    unsigned char len[4] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                            static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 24)};
    a.append(reinterpret_cast<char*>(len), 4);
    a.append(data.begin(), data.end());
    return a;
}

std::vector<unsigned char> CorruptGz() {
    auto gz = Gz(std::string(4000, 'x') + "tail");
    for (std::size_t i = 10; i < gz.size() - 8; ++i) gz[i] ^= 0x5A;
    return gz;
}

// Every regular file under dir, relative with slashes, and its content.
std::map<std::string, std::string> Tree(const fs::path& dir) {
    std::map<std::string, std::string> files;
    if (!fs::exists(dir)) return files;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[fs::relative(e.path(), dir).generic_string()] = ReadFile(e.path());
    return files;
}

struct ArchiveCase {
    const char* label;
    std::string archive;
    std::vector<int> results;                         // ExtractNext, in order
    std::map<std::string, std::string> files;         // under Boot/ afterwards
    std::vector<std::string> box_texts = {};
    std::function<void(const fs::path& boot)> prepare = {};
};

std::vector<ArchiveCase> ArchiveCases() {
    return {
        {"empty archive", "", {0}, {}},
        {"one-byte name", Entry("a", Gz("hi")), {1, 0}, {{"a", "hi"}}},
        {"marker alone yields no entry", std::string(EntryMarker.data(), 8), {0}, {}},
        {"zero-length entry gives an empty file", Entry("z", {}) + Entry("n", Gz("next")), {1, 1, 0},
         {{"z", ""}, {"n", "next"}}},
        {"nested names make their directories", Entry("A1\\ur.bin", Gz("ur")) + Entry("A1\\sub\\x", Gz("x")),
         {1, 1, 0}, {{"A1/ur.bin", "ur"}, {"A1/sub/x", "x"}}},
        {"corrupt stream leaves the target empty and goes on", Entry("c", CorruptGz()) + Entry("d", Gz("d")),
         {1, 1, 0}, {{"c", ""}, {"d", "d"}}},
        {"cut-off stream counts as corrupt", Entry("t", [] { auto g = Gz(std::string(3000, 'q')); g.resize(g.size() / 2); return g; }()),
         {1, 0}, {{"t", ""}}},
        {"archive ends inside a name", Entry("a", Gz("a")) + "unfinished", {1, 0}, {{"a", "a"}}},
        {"archive ends inside the length", Entry("a", Gz("a")) + "b" + std::string(EntryMarker.data(), 8) + "\x01",
         {1, 0}, {{"a", "a"}}},
        {"length past the end stops at the end", EntryWithLength("p", 0xFFFFFFF0u, Gz("data")), {1, 0},
         {{"p", "data"}}},
        {"a file where a directory is needed", Entry("blocked\\x.bin", Gz("x")) + Entry("ok", Gz("ok")), {1, 1, 0},
         {{"blocked", "plain file"}, {"ok", "ok"}}, {"Failed to open file to decompress"},
         [](const fs::path& boot) { WriteFile(boot / "blocked", "plain file"); }},
        {"an existing target is replaced", Entry("r", Gz("new")), {1, 0}, {{"r", "new"}}, {},
         [](const fs::path& boot) { WriteFile(boot / "r", "old and longer"); }},
        {"names that climb out are passed over",
         Entry("..\\up", Gz("1")) + Entry("A1\\..\\..\\up2", Gz("2")) + Entry("/abs", Gz("3")) +
             Entry("\\abs2", Gz("4")) + Entry("C:\\drive", Gz("5")) + Entry("..", Gz("6")) + Entry("in", Gz("in")),
         {1, 1, 1, 1, 1, 1, 1, 0}, {{"in", "in"}}},
    };
}

TEST(BootCodeArchive, UnpacksEdgeCases) {
    for (const auto& c : ArchiveCases()) {
        SCOPED_TRACE(c.label);
        ScratchDir dir;
        fs::path boot = dir.path() / "work" / "Boot";
        fs::create_directories(boot);
        if (c.prepare) c.prepare(boot);
        WriteFile(dir.path() / "work" / "BootCode.r", c.archive);

        RecordingView view;
        CBootCodeArchive archive(&view);
        ASSERT_TRUE(archive.Open(dir.str() + "/work\\BootCode.r"));
        archive.output_directory = dir.str() + "/work\\Boot\\";
        ASSERT_TRUE(archive.SeekToBegin());
        std::vector<int> results;
        while (results.size() < c.results.size() + 2) {
            results.push_back(archive.ExtractNext());
            if (results.back() != 1) break;
        }
        archive.Close();

        EXPECT_EQ(results, c.results);
        EXPECT_EQ(Tree(boot), c.files);
        std::vector<std::string> texts;
        for (const auto& b : view.boxes) texts.push_back(b.text);
        EXPECT_EQ(texts, c.box_texts);
        // Nothing lands outside Boot, no staging file stays.
        auto names = [](const fs::path& d) {
            std::set<std::string> n;
            for (auto& e : fs::directory_iterator(d)) n.insert(e.path().filename().string());
            return n;
        };
        EXPECT_EQ(names(dir.path()), (std::set<std::string>{"work"}));
        EXPECT_EQ(names(dir.path() / "work"), (std::set<std::string>{"Boot", "BootCode.r"}));
    }
}

TEST(BootCodeArchive, FailedTargetIsReportedWithBothPathsAsCaption) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "Boot");
    WriteFile(dir.path() / "Boot" / "d", "file");
    WriteFile(dir.path() / "a.r", Entry("d\\x", Gz("x")));
    RecordingView view;
    CBootCodeArchive archive(&view);
    ASSERT_TRUE(archive.Open(dir.str() + "/a"));
    archive.output_directory = dir.str() + "\\Boot\\";
    EXPECT_EQ(archive.ExtractNext(), 1);
    ASSERT_EQ(view.boxes.size(), 1u);
    // The staging file's name comes first, then the target.
    EXPECT_THAT(view.boxes[0].caption, ::testing::StartsWith(dir.str() + "/T"));
    EXPECT_THAT(view.boxes[0].caption, ::testing::EndsWith(dir.str() + "\\Boot\\d\\x"));
}

TEST(BootCodeArchive, OpenAppliesTheSuffixAndTrailingBlankRules) {
    struct Case {
        const char* on_disk;
        const char* open_as;
        bool opens;
    } cases[] = {
        {"BootCode.r", "BootCode", true},
        {"BootCode.r", "BootCode.r", true},
        {"BootCode.r", "BootCode.r \t\r\n", true},
        {"BootCode.R", "BootCode.R", false},  // looks for BootCode.R.r
        {"BootCode.R.r", "BootCode.R", true},
        {"BootCode.r", "Missing", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.on_disk) + " as " + c.open_as);
        ScratchDir dir;
        WriteFile(dir.path() / c.on_disk, Entry("a", Gz("a")));
        CBootCodeArchive archive;
        EXPECT_EQ(archive.Open(dir.str() + "/" + c.open_as), c.opens);
        EXPECT_EQ(archive.IsOpen(), c.opens);
    }
}

TEST(BootCodeArchive, RefusesArchivesItCannotHaveToItself) {
    ScratchDir dir;
    fs::path path = dir.path() / "a.r";
    WriteFile(path, Entry("a", Gz("a")));
    CBootCodeArchive archive;

    // In use by someone else.
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_FALSE(archive.Open(path.string()));
    ::close(fd);
    EXPECT_TRUE(archive.Open(path.string()));
    archive.Close();

    if (::geteuid() != 0) {  // root writes to read-only files
        fs::permissions(path, fs::perms::owner_read);
        EXPECT_FALSE(archive.Open(path.string()));
    }
    // A directory is no archive.
    fs::create_directories(dir.path() / "d.r");
    EXPECT_FALSE(archive.Open((dir.path() / "d.r").string()));
}

TEST(BootCodeArchive, ClosedArchiveDoesNothingAndSeekRestarts) {
    ScratchDir dir;
    CBootCodeArchive archive;
    EXPECT_FALSE(archive.SeekToBegin());
    EXPECT_EQ(archive.ExtractNext(), 0);

    WriteFile(dir.path() / "a.r", Entry("x", Gz("1")));
    ASSERT_TRUE(archive.Open(dir.str() + "/a.r"));
    archive.output_directory = dir.str() + "/out\\";
    EXPECT_EQ(archive.ExtractNext(), 1);
    EXPECT_EQ(archive.ExtractNext(), 0);
    fs::remove(dir.path() / "out" / "x");
    ASSERT_TRUE(archive.SeekToBegin());
    EXPECT_EQ(archive.ExtractNext(), 1);
    EXPECT_EQ(ReadFile(dir.path() / "out" / "x"), "1");
}

TEST(BootCodeArchive, DirectoryThatCannotBeMadeEndsTheProgram) {
    ScratchDir dir;
    EXPECT_EXIT(EnsureDirectory(dir.str() + "/no/such/parent"), ::testing::ExitedWithCode(3), "Couldn't create dir");
    // Something of that name, even a file, counts as there.
    WriteFile(dir.path() / "f", "");
    EXPECT_TRUE(EnsureDirectory(dir.str() + "/f"));
}

TEST(BootCodeArchive, MakePathDirectoriesWalksBothSeparators) {
    ScratchDir dir;
    EXPECT_TRUE(MakePathDirectories("no-separator"));
    EXPECT_TRUE(MakePathDirectories(dir.str() + "/a\\b/c\\file"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b" / "c"));
    EXPECT_FALSE(fs::exists(dir.path() / "a" / "b" / "c" / "file"));
}

TEST(EntryNames, OnlyNamesInsideTheOutputDirectoryPass) {
    struct Case {
        std::string name;
        bool contained;
    } cases[] = {
        {"A1\\ur.bin", true}, {"a", true}, {"x..y", true}, {"A1\\.\\b", true}, {"...", true},
        {"..", false}, {"..\\a", false}, {"a\\..", false}, {"a/../../b", false}, {"\\a", false},
        {"/a", false}, {"C:\\a", false}, {"c:a", false}, {std::string("a\0b", 3), false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsContainedEntryName(c.name), c.contained) << c.name;
}

TEST(GzFile, ReadAllLimitsAndErrors) {
    ScratchDir dir;
    auto put = [&](const char* name, const std::vector<unsigned char>& data) {
        WriteFile(dir.path() / name, std::string(data.begin(), data.end()));
        return (dir.path() / name).string();
    };
    std::string big(300000, 'b');
    big[123] = 'c';
    std::string good = put("good.gz", Gz(big));
    std::string two = put("two.gz", [] { auto a = Gz("one,"), b = Gz("two"); a.insert(a.end(), b.begin(), b.end()); return a; }());
    std::string bomb = put("bomb.gz", Gz(std::string(4 << 20, '\0')));
    std::string empty = put("empty.gz", {});

    std::vector<unsigned char> out;
    CGzFile gz;
    ASSERT_TRUE(gz.OpenRead(good));
    EXPECT_FALSE(gz.OpenRead(good)) << "already open";
    EXPECT_EQ(gz.mode(), CGzStream::kReading);
    EXPECT_TRUE(gz.ReadAll(out));
    EXPECT_EQ(std::string(out.begin(), out.end()), big);
    gz.Close();
    EXPECT_FALSE(gz.IsOpen());

    ASSERT_TRUE(gz.OpenRead(two));
    EXPECT_TRUE(gz.ReadAll(out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "one,two");
    gz.Close();

    // Far more than the compressed size promises: refused, nothing kept.
    ASSERT_TRUE(gz.OpenRead(bomb));
    gz.SetUnpackedLimit(1 << 20);
    EXPECT_FALSE(gz.ReadAll(out));
    EXPECT_TRUE(out.empty());
    gz.Close();

    ASSERT_TRUE(gz.OpenRead(empty));
    EXPECT_EQ(gz.read_chunk_size(), 0u);
    EXPECT_FALSE(gz.ReadAll(out));
    gz.Close();

    EXPECT_FALSE(gz.OpenRead((dir.path() / "missing").string()));
}

TEST(GzFile, DefaultLimitKeepsAnExpandingMemberFromTheDisk) {
    ScratchDir dir;
    // About 70 KiB that unpack to 80 MiB, beyond the default limit.
    WriteFile(dir.path() / "a.r", [] {
        std::string zeros(80u << 20, '\0');
        return Entry("bomb", Gz(zeros)) + Entry("after", Gz("after"));
    }());
    RecordingView view;
    CBootCodeArchive archive(&view);
    ASSERT_TRUE(archive.Open(dir.str() + "/a.r"));
    archive.output_directory = dir.str() + "/out/";
    EXPECT_EQ(archive.ExtractNext(), 1);
    EXPECT_EQ(archive.ExtractNext(), 1);
    EXPECT_EQ(fs::file_size(dir.path() / "out" / "bomb"), 0u);
    EXPECT_EQ(ReadFile(dir.path() / "out" / "after"), "after");
}

TEST(BootCodeArchive, ArchiveWideBudgetBoundsManyExpandingMembers) {
    ScratchDir dir;
    WriteFile(dir.path() / "a.r", Entry("a", Gz("123456")) + Entry("b", Gz("123456")) + Entry("c", Gz("")) +
                                      Entry("d", Gz("1")));
    RecordingView view;
    CBootCodeArchive archive(&view);
    archive.SetUnpackedBudget(10);
    ASSERT_TRUE(archive.Open(dir.str() + "/a.r"));
    archive.output_directory = dir.str() + "/out/";
    while (archive.ExtractNext() == 1) {
    }
    EXPECT_EQ(Tree(dir.path() / "out"),
              (std::map<std::string, std::string>{{"a", "123456"}, {"b", ""}, {"c", ""}, {"d", "1"}}));
    EXPECT_TRUE(view.boxes.empty());

    // A fresh Open starts a fresh budget.
    ASSERT_TRUE(archive.Open(dir.str() + "/a.r"));
    EXPECT_EQ(archive.ExtractNext(), 1);
    EXPECT_EQ(ReadFile(dir.path() / "out" / "a"), "123456");
}

}  // namespace
}  // namespace nv::kolmar
