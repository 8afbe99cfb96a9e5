#include "kolmar/archive/boot_code_archive.h"

#include "kolmar/archive/gz_file.h"
#include "platform/fatal.h"
#include "platform/paths.h"
#include "shared/byte_order.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nv::kolmar {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Opens with an exclusive lock: the original shares these files with nobody.
int open_exclusive(const std::string& path, int flags, mode_t mode = 0666) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool write_all(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void report(MessageSink* messages, std::string_view text, std::string_view caption) {
    if (messages) messages->MessageBox(text, caption);
    else std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                      static_cast<int>(text.size()), text.data());
}

}  // namespace

std::string NativeSeparators(std::string_view path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

bool IsContainedEntryName(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos) return false;
    if (is_separator(name.front())) return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !is_separator(name[end])) ++end;
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

CBootCodeArchive::~CBootCodeArchive() { Close(); }

bool CBootCodeArchive::Open(std::string path) {
    Close();
    while (!path.empty() && std::isspace(static_cast<unsigned char>(path.back()))) path.pop_back();
    if (!path.ends_with(".r")) path += ".r";
    std::string native = NativeSeparators(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    int fd = open_exclusive(native, O_RDWR);
    if (fd < 0) return false;
    file_ = ::fdopen(fd, "r+b");
    if (!file_) {
        ::close(fd);
        return false;
    }
    open_ = true;
    unpacked_ = 0;
    return true;
}

bool CBootCodeArchive::SeekToBegin() {
    if (!open_) return false;
    return std::fseek(file_, 0, SEEK_SET) == 0;
}

void CBootCodeArchive::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    open_ = false;
}

int CBootCodeArchive::ExtractNext() {
    if (!open_) return 0;
    struct stat st {};
    long offset = std::ftell(file_);
    if (::fstat(::fileno(file_), &st) != 0 || offset < 0) return 0;
    if (offset >= st.st_size) return 0;

    std::string name;
    for (;;) {
        int c = std::getc(file_);
        if (c == EOF) return 0;
        name.push_back(static_cast<char>(c));
        if (name.size() >= 9 && std::memcmp(name.data() + name.size() - 8, EntryMarker.data(), 8) == 0) break;
    }
    name.resize(name.size() - 8);

    unsigned char len_bytes[4];
    if (std::fread(len_bytes, 1, 4, file_) != 4) return 0;
    std::uint32_t length = bytes::le32(len_bytes);

    // A name that climbs out of the output directory is passed over, data
    // and all, so that the entries after it still unpack.
    if (!IsContainedEntryName(name)) {
        offset = std::ftell(file_);
        long remaining = st.st_size > offset ? static_cast<long>(st.st_size - offset) : 0;
        std::fseek(file_, static_cast<long>(std::min<std::uint64_t>(length, static_cast<std::uint64_t>(remaining))), SEEK_CUR);
        return 1;
    }

    std::string target = output_directory + name;
    if (!MakePathDirectories(target)) return 0;

    std::string temp = platform::TempDir() + "TXXXXXX";
    int temp_fd = ::mkstemp(temp.data());
    if (temp_fd < 0) return 0;
    // Copied in small pieces; a length past the end of the archive stops at
    // its end, so the staging file is never larger than the archive.
    char piece[100];
    std::uint32_t left = length;
    bool written = true;
    while (left > 0) {
        std::size_t want = std::min<std::uint32_t>(left, sizeof piece);
        std::size_t got = std::fread(piece, 1, want, file_);
        if (got == 0) break;
        if (written) written = write_all(temp_fd, reinterpret_cast<unsigned char*>(piece), got);
        left -= static_cast<std::uint32_t>(got);
        if (got < want) break;
    }
    ::close(temp_fd);
    if (written) {
        std::size_t limit = static_cast<std::size_t>(
            std::min<std::uint64_t>(CGzFile::kDefaultUnpackedLimit, budget_ > unpacked_ ? budget_ - unpacked_ : 0));
        std::size_t size = 0;
        DecompressFile(temp, target, messages_, limit, &size);
        unpacked_ += size;
    }
    ::unlink(temp.c_str());
    return 1;
}

bool MakePathDirectories(std::string_view path) {
    std::size_t last = path.find_last_of("\\/");
    if (last == std::string_view::npos) return true;
    std::string dir(path.substr(0, last));
    bool first = true;
    for (std::size_t i = 0; i < dir.size(); ++i) {
        if (!is_separator(dir[i])) continue;
        if (first) {
            first = false;
            continue;
        }
        EnsureDirectory(dir.substr(0, i));
    }
    EnsureDirectory(dir);
    return true;
}

bool EnsureDirectory(const std::string& dir) {
    std::string native = NativeSeparators(dir);
    if (native.empty()) return true;
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0) return true;
    if (::mkdir(native.c_str(), 0777) != 0 && errno != EEXIST) platform::FatalAppExit("Couldn't create dir");
    return true;
}

bool DecompressFile(const std::string& gz_path, const std::string& target_path, MessageSink* messages,
                    std::size_t limit, std::size_t* written) {
    if (written) *written = 0;
    CGzFile gz;
    gz.SetUnpackedLimit(limit);
    if (!gz.OpenRead(NativeSeparators(gz_path))) return false;
    int fd = open_exclusive(NativeSeparators(target_path), O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) {
        report(messages, "Failed to open file to decompress", gz_path + target_path);
        return false;
    }
    std::vector<unsigned char> data;
    bool ok = gz.ReadAll(data);
    if (!data.empty()) {
        if (write_all(fd, data.data(), data.size())) {
            if (written) *written = data.size();
        } else {
            // A half-written image is worse than none.
            (void)!::ftruncate(fd, 0);
            ok = false;
        }
    }
    ::close(fd);
    gz.Close();
    return ok;
}

}  // namespace nv::kolmar
