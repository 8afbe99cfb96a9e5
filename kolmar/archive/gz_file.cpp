#include "kolmar/archive/gz_file.h"

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace nv::kolmar {

CGzFile::~CGzFile() { Close(); }

bool CGzFile::OpenRead(const std::string& path) {
    if (IsOpen()) return false;
    if (::access(path.c_str(), W_OK) != 0) return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    int rc = ::fstat(fd, &st);
    ::close(fd);
    if (rc != 0) return false;
    read_chunk_size_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), UINT32_MAX));
    file_ = ::gzopen(path.c_str(), "rb");
    if (!file_) return false;
    SetMode(kReading);
    return true;
}

bool CGzFile::OpenWrite(const std::string& path) {
    if (IsOpen()) return false;
    file_ = ::gzopen(path.c_str(), "wb");
    if (!file_) return false;
    SetMode(kWriting);
    return ApplyLevelAndStrategy();
}

void CGzFile::Close() {
    if (file_) ::gzclose(file_);
    file_ = nullptr;
    mode_ = kClosed;
}

bool CGzFile::Write(const void* data, std::size_t size) {
    if (!file_ || mode_ != kWriting || size > UINT_MAX) return false;
    if (size == 0) return true;
    return ::gzwrite(file_, data, static_cast<unsigned>(size)) == static_cast<int>(size);
}

bool CGzFile::WriteText(std::string_view text) { return Write(text.data(), text.size()); }

int CGzFile::Read(void* data, std::size_t size) {
    if (!file_ || mode_ != kReading) return -1;
    return ::gzread(file_, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

bool CGzFile::ReadAll(std::vector<unsigned char>& out) {
    out.clear();
    if (!file_ || mode_ != kReading || read_chunk_size_ == 0) return false;
    const std::size_t chunk = std::min<std::size_t>(read_chunk_size_, kMaxReadChunk);
    std::vector<std::vector<unsigned char>> pieces;
    std::size_t total = 0;
    for (;;) {
        std::vector<unsigned char> piece(chunk);
        int n = ::gzread(file_, piece.data(), static_cast<unsigned>(chunk));
        if (n < 0) return false;
        if (n == 0) {
            // zlib ends a cut-off stream quietly; it is as corrupt as a bad one.
            int err = Z_OK;
            ::gzerror(file_, &err);
            if (err != Z_OK) return false;
            break;
        }
        total += static_cast<std::size_t>(n);
        if (total > unpacked_limit_) return false;
        piece.resize(static_cast<std::size_t>(n));
        pieces.push_back(std::move(piece));
    }
    out.reserve(total);
    for (const auto& piece : pieces) out.insert(out.end(), piece.begin(), piece.end());
    return total != 0;
}

bool CGzFile::ApplyLevelAndStrategy() {
    if (!file_ || mode_ != kWriting) return false;
    return ::gzsetparams(file_, level_, strategy_) == Z_OK;
}

}  // namespace nv::kolmar
