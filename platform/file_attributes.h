// File attributes as the algorithms name them. Linux keeps only one of them:
// the read-only bit is the absence of write permission.
#pragma once

#include <cstdint>
#include <string>

namespace nv::platform {

inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// kInvalidFileAttributes when the path does not exist.
std::uint32_t GetFileAttributes(const std::string& path);
// Only the read-only bit has an effect: it clears or restores the owner's,
// group's and others' write permission. False when the path does not exist.
bool SetFileAttributes(const std::string& path, std::uint32_t attributes);

}  // namespace nv::platform
