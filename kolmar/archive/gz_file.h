// A gzip file over zlib's gzip file functions. CGzStream fixes the
// operations and their order; CGzFile is the one implementation. Unpacking
// uses only OpenRead, ReadAll and Close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

typedef struct gzFile_s* gzFile;

namespace nv::kolmar {

class CGzStream {
public:
    enum Mode : std::int32_t { kClosed = 0, kWriting = 1, kReading = 2 };

    virtual ~CGzStream() = default;
    virtual bool SetMode(std::int32_t mode) {
        mode_ = mode;
        return true;
    }
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Write(const void* data, std::size_t size) = 0;
    virtual bool WriteText(std::string_view text) = 0;
    virtual int Read(void* data, std::size_t size) = 0;
    virtual bool ReadAll(std::vector<unsigned char>& out) = 0;
    virtual bool ApplyLevelAndStrategy() = 0;

    std::int32_t mode() const { return mode_; }

protected:
    std::int32_t mode_ = kClosed;
    std::int32_t level_ = -1;  // zlib's default
    std::int32_t strategy_ = 0;
};

class CGzFile : public CGzStream {
public:
    // A member that would unpack beyond this is treated as a read error: a
    // small stream may expand without bound.
    static constexpr std::size_t kDefaultUnpackedLimit = 64u << 20;  // the largest image is 128 KiB
    // The read chunk is the compressed file's length, but never above this.
    static constexpr std::size_t kMaxReadChunk = 1u << 20;

    CGzFile() = default;
    CGzFile(const CGzFile&) = delete;
    CGzFile& operator=(const CGzFile&) = delete;
    ~CGzFile() override;

    // False if already open, if the file is missing or not writable, or
    // when zlib gives no handle.
    bool OpenRead(const std::string& path);
    bool OpenWrite(const std::string& path);

    void Close() override;
    bool IsOpen() const override { return file_ != nullptr; }
    bool Write(const void* data, std::size_t size) override;
    bool WriteText(std::string_view text) override;
    int Read(void* data, std::size_t size) override;
    // Everything left to decompress. On a read error `out` is emptied and
    // the result is false; otherwise true when anything was read.
    bool ReadAll(std::vector<unsigned char>& out) override;
    bool ApplyLevelAndStrategy() override;

    void SetUnpackedLimit(std::size_t limit) { unpacked_limit_ = limit; }
    std::uint32_t read_chunk_size() const { return read_chunk_size_; }

private:
    gzFile file_ = nullptr;
    std::uint32_t read_chunk_size_ = 0;
    std::size_t unpacked_limit_ = kDefaultUnpackedLimit;
};

}  // namespace nv::kolmar
