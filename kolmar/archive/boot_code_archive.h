// The firmware archive: a plain run of entries, each a name, the eight
// marker bytes " \~#$&* ", a little-endian 32-bit length and that many bytes
// of one gzip stream. Entries unpack under the output directory.
#pragma once

#include "kolmar/archive/gz_file.h"
#include "kolmar/archive/message_sink.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace nv::kolmar {

inline constexpr std::array<char, 8> EntryMarker = {0x20, 0x5C, 0x7E, 0x23, 0x24, 0x26, 0x2A, 0x20};

class CBootCodeArchive {
public:
    explicit CBootCodeArchive(MessageSink* messages = nullptr) : messages_(messages) {}
    CBootCodeArchive(const CBootCodeArchive&) = delete;
    CBootCodeArchive& operator=(const CBootCodeArchive&) = delete;
    virtual ~CBootCodeArchive();

    // Trailing white space is dropped and ".r" appended unless the path
    // already ends in it (case-sensitive). The file must exist, be writable
    // and not be in use by anyone else.
    bool Open(std::string path);
    bool SeekToBegin();
    // 1 when an entry was handled, 0 at the end of the archive or when the
    // archive cannot be read on.
    int ExtractNext();
    void Close();
    bool IsOpen() const { return open_; }

    // Ends in a separator; names are appended to it as they stand.
    std::string output_directory;

    // Bytes all entries of one opened archive may unpack to. Each member is
    // bounded too, but a long run of small members that expand a lot could
    // still fill the disk. The embedded archive needs under 3 MiB.
    static constexpr std::uint64_t kDefaultUnpackedBudget = 256u << 20;
    void SetUnpackedBudget(std::uint64_t bytes) { budget_ = bytes; }

private:
    bool open_ = false;
    std::uint64_t budget_ = kDefaultUnpackedBudget;
    std::uint64_t unpacked_ = 0;
    std::FILE* file_ = nullptr;
    MessageSink* messages_;
};

// Creates every directory the file path needs. Both separators count.
bool MakePathDirectories(std::string_view path);
// Creates dir unless something of that name exists; ends the program with
// "Couldn't create dir" when it cannot.
bool EnsureDirectory(const std::string& dir);
// Unpacks the gzip file into the target, replacing it. A target that cannot
// be created is reported through `messages`; on a read error, or when the
// contents would exceed `limit`, it stays empty. `written` gets the size.
bool DecompressFile(const std::string& gz_path, const std::string& target_path, MessageSink* messages,
                    std::size_t limit = CGzFile::kDefaultUnpackedLimit, std::size_t* written = nullptr);

// Whether an entry name stays inside the output directory: no absolute or
// drive-letter path, no ".." segment, no NUL byte.
bool IsContainedEntryName(std::string_view name);

// Backslashes to slashes: the archive's paths are written the original way.
std::string NativeSeparators(std::string_view path);

}  // namespace nv::kolmar
