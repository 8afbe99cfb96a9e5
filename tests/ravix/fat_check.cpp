#include "fat_check.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace nv::test {

std::string TempDir() {
    // Made on first use, removed with everything in it when the test ends.
    static const struct Dir {
        std::string path;
        Dir() : path((std::filesystem::temp_directory_path() / "nvfat.XXXXXX").string()) {
            if (!mkdtemp(path.data())) throw std::runtime_error("mkdtemp");
        }
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } dir;
    return dir.path;
}

SparseImage::SparseImage(const std::string& name, std::uint64_t sectors) : path_(TempDir() + "/" + name) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(sectors * 512)) != 0)
        throw std::runtime_error("cannot make " + path_);
}

SparseImage::~SparseImage() {
    if (fd_ >= 0) ::close(fd_);
    std::filesystem::remove(path_);
}

bool SparseImage::Write(std::uint64_t lba, std::uint32_t count, const std::uint8_t* data) {
    for (std::uint32_t i = 0; i < count;) {
        const std::uint8_t* p = data + 512u * i;
        const bool zero = std::all_of(p, p + 512, [](std::uint8_t b) { return b == 0; });
        std::uint32_t run = 1;
        while (i + run < count) {
            const std::uint8_t* q = data + 512u * (i + run);
            if (std::all_of(q, q + 512, [](std::uint8_t b) { return b == 0; }) != zero) break;
            ++run;
        }
        const off_t off = static_cast<off_t>((lba + i) * 512);
        const off_t len = static_cast<off_t>(run) * 512;
        if (zero) {
            if (::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off, len) != 0) return false;
        } else if (::pwrite(fd_, p, static_cast<size_t>(len), off) != len) {
            return false;
        }
        i += run;
    }
    return true;
}

void SparseImage::ReadSector(std::uint64_t lba, std::uint8_t* out) const {
    if (::pread(fd_, out, 512, static_cast<off_t>(lba * 512)) != 512) throw std::runtime_error("short read");
}

ToolResult RunTool(const std::string& command) {
    ToolResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

void CopySparse(const std::string& image, std::uint64_t offset, const std::string& out, std::uint64_t size) {
    const int in = ::open(image.c_str(), O_RDONLY);
    const int fd = ::open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || fd < 0) throw std::runtime_error("cannot copy " + image);
    const off_t end = ::lseek(in, 0, SEEK_END);
    const off_t length = size ? static_cast<off_t>(size) : end - static_cast<off_t>(offset);
    if (::ftruncate(fd, length) != 0) throw std::runtime_error("ftruncate");
    const off_t stop = std::min(end, static_cast<off_t>(offset) + length);
    std::vector<char> buf(1 << 20);
    off_t pos = static_cast<off_t>(offset);
    while (pos < stop) {
        const off_t data = ::lseek(in, pos, SEEK_DATA);
        if (data < 0) break;
        if (data >= stop) break;
        const off_t hole = std::min(::lseek(in, data, SEEK_HOLE), stop);
        for (off_t at = data; at < hole;) {
            const auto want = static_cast<size_t>(std::min<off_t>(hole - at, static_cast<off_t>(buf.size())));
            const ssize_t got = ::pread(in, buf.data(), want, at);
            if (got <= 0) throw std::runtime_error("read " + image);
            if (::pwrite(fd, buf.data(), static_cast<size_t>(got), at - static_cast<off_t>(offset)) != got)
                throw std::runtime_error("write " + out);
            at += got;
        }
        pos = hole;
    }
    ::close(in);
    ::close(fd);
}

namespace {

// Runs command with the volume, copied out of image, as its last argument.
ToolResult OnVolumeCopy(const std::string& command, const std::string& image, std::uint64_t startSector,
                        std::uint64_t sectors) {
    const std::string part = image + ".volume";
    CopySparse(image, startSector * 512, part, sectors * 512);
    ToolResult r = RunTool(command + " '" + part + "'");
    std::filesystem::remove(part);
    return r;
}

}  // namespace

ToolResult FsckVolume(const std::string& image, std::uint64_t startSector, std::uint64_t sectors) {
    return OnVolumeCopy("fsck.fat -n", image, startSector, sectors);
}

ToolResult MdirVolume(const std::string& image, std::uint64_t startSector, std::uint64_t sectors) {
    // mtools insists that the sector count be a whole number of tracks, a
    // geometry habit that neither the FAT format nor mkfs.fat keeps.
    return OnVolumeCopy("MTOOLS_SKIP_CHECK=1 mdir ::/ -i", image, startSector, sectors);
}

}  // namespace nv::test
