// libFuzzer target: any bytes as a firmware archive, unpacked entry by entry
// into a scratch directory. A fault is a crash, a sanitizer report, a file
// outside the output directory, or memory beyond libFuzzer's limit.
#include "kolmar/archive/boot_code_archive.h"
#include "platform/fatal.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct FatalEnd {};

class QuietSink : public nv::kolmar::MessageSink {
public:
    void MessageBox(std::string_view, std::string_view) override {}
};

// Creating a directory fails where a file stands a level up; the program
// ends there by design, so that is an outcome here, not a fault.
void ThrowOnFatal(std::string_view) { throw FatalEnd{}; }

struct Scratch {
    fs::path root, work, out, outside_marker;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "kolmar-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root = pattern;
        work = root / "work";
        out = work / "Boot";
        fs::create_directories(out);
        ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
        fs::create_directories(root / "tmp");
        nv::platform::SetFatalHandler(&ThrowOnFatal);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

void CheckNothingOutside(const Scratch& s) {
    for (auto& e : fs::directory_iterator(s.root)) {
        auto name = e.path().filename();
        if (name != "work" && name != "tmp") std::abort();
    }
    for (auto& e : fs::directory_iterator(s.work)) {
        auto name = e.path().filename();
        if (name != "Boot" && name != "BootCode.r") std::abort();
    }
    if (!fs::is_empty(s.root / "tmp")) std::abort();  // a staging file was left
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Scratch& s = scratch();
    fs::path archive_path = s.work / "BootCode.r";
    {
        std::FILE* f = std::fopen(archive_path.c_str(), "wb");
        if (!f) std::abort();
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    QuietSink sink;
    {
        nv::kolmar::CBootCodeArchive archive(&sink);
        if (!archive.Open(archive_path.string())) std::abort();
        archive.output_directory = s.work.string() + "\\Boot\\";
        if (!archive.SeekToBegin()) std::abort();
        try {
            // Every entry consumes at least nine bytes, so this ends.
            while (archive.ExtractNext() == 1) {
            }
        } catch (const FatalEnd&) {
        }
    }
    CheckNothingOutside(s);
    std::error_code ec;
    for (auto& e : fs::directory_iterator(s.root / "tmp")) fs::remove_all(e.path(), ec);
    fs::remove_all(s.out, ec);
    fs::create_directories(s.out);
    return 0;
}
