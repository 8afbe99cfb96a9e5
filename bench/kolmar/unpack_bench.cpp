// Unpacking a firmware archive of 1,000 members of 64 KiB, against zcat of
// the same members (one zcat over all of them, output to one file). Prints
// both times and their ratio; not part of the test suite.
#include "kolmar/archive/archive_writer.h"
#include "kolmar/archive/boot_code_archive.h"
#include "kolmar/resources/kolmar_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class NoBoxes : public nv::kolmar::MessageSink {
public:
    void MessageBox(std::string_view text, std::string_view caption) override {
        std::fprintf(stderr, "box: %.*s (%.*s)\n", static_cast<int>(text.size()), text.data(),
                     static_cast<int>(caption.size()), caption.data());
    }
};

void Write(const fs::path& p, const void* data, std::size_t size) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

template <class F>
double BestOf(int runs, F f) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    int members = argc > 1 ? std::atoi(argv[1]) : 1000;
    std::string pattern = (fs::temp_directory_path() / "kolmar-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    fs::path root = pattern;
    fs::create_directories(root / "gz");
    ::setenv("TMPDIR", root.c_str(), 1);

    std::string archive;
    std::string zcat = "zcat";
    for (int i = 0; i < members; ++i) {
        std::string name = "D" + std::to_string(i / 100) + "\\m" + std::to_string(i) + ".bin";
        auto image = nv::kolmar::FirmwareImage({name, 65536});
        auto gz = nv::kolmar::GzipMember(image);
        nv::kolmar::AppendEntry(archive, name, gz);
        fs::path file = root / "gz" / ("m" + std::to_string(i) + ".gz");
        Write(file, gz.data(), gz.size());
        zcat += " " + file.string();
    }
    Write(root / "BootCode.r", archive.data(), archive.size());
    zcat += " > " + (root / "zcat.out").string();

    NoBoxes boxes;
    int unpacked = 0;
    double ours = BestOf(3, [&] {
        fs::remove_all(root / "Boot");
        nv::kolmar::CBootCodeArchive reader(&boxes);
        if (!reader.Open((root / "BootCode.r").string()) || !reader.SeekToBegin()) std::exit(1);
        reader.output_directory = root.string() + "\\Boot\\";
        unpacked = 0;
        while (reader.ExtractNext() == 1) ++unpacked;
    });
    double peer = BestOf(3, [&] {
        if (std::system(zcat.c_str()) != 0) std::exit(1);
    });

    std::printf("members: %d of 64 KiB, archive %zu bytes, unpacked %d\n", members, archive.size(), unpacked);
    std::printf("CBootCodeArchive: %.3f s\nzcat:             %.3f s\nratio (ours / zcat): %.2f\n", ours, peer,
                ours / peer);
    fs::remove_all(root);
    return unpacked == members ? 0 : 1;
}
