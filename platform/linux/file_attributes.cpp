#include "platform/file_attributes.h"

#include <sys/stat.h>
#include <unistd.h>

namespace nv::platform {

std::uint32_t GetFileAttributes(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return kInvalidFileAttributes;
    std::uint32_t attrs = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeArchive;
    if (!(st.st_mode & S_IWUSR)) attrs |= kFileAttributeReadOnly;
    return attrs;
}

bool SetFileAttributes(const std::string& path, std::uint32_t attributes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attributes & kFileAttributeReadOnly) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else {
        mode |= S_IWUSR;
    }
    return ::chmod(path.c_str(), mode) == 0;
}

}  // namespace nv::platform
