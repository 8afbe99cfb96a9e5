// Helpers that check a written volume with the FAT tools themselves
// (fsck.fat and mtools), never with our own reader alone.
#pragma once

#include <cstdint>
#include <string>

namespace nv::test {

// A sparse file of the given size that is removed with the object.
class SparseImage {
public:
    SparseImage(const std::string& name, std::uint64_t sectors);
    ~SparseImage();
    SparseImage(const SparseImage&) = delete;
    SparseImage& operator=(const SparseImage&) = delete;
    const std::string& Path() const { return path_; }
    // Writes count sectors at lba; all-zero sectors become holes, so that
    // volumes of hundreds of gigabytes cost only their non-zero bytes.
    bool Write(std::uint64_t lba, std::uint32_t count, const std::uint8_t* data);
    void ReadSector(std::uint64_t lba, std::uint8_t* out) const;

private:
    std::string path_;
    int fd_ = -1;
};

struct ToolResult {
    int status = -1;
    std::string output;
};

ToolResult RunTool(const std::string& command);

// Copies the data extents of image from byte offset on into a new sparse
// file of size bytes (the rest of the file when size is 0). A medium reads
// as zeros past the end of its image file.
void CopySparse(const std::string& image, std::uint64_t offset, const std::string& out, std::uint64_t size = 0);

// fsck.fat -n on the volume that starts at the given sector of image; the
// volume runs to the end of the file unless its sector count is given.
ToolResult FsckVolume(const std::string& image, std::uint64_t startSector, std::uint64_t sectors = 0);
// mdir of the root directory of that volume.
ToolResult MdirVolume(const std::string& image, std::uint64_t startSector, std::uint64_t sectors = 0);

std::string TempDir();

}  // namespace nv::test
