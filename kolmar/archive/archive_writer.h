// Building firmware archives: the build tool that makes our BootCode.r, the
// tests and the benchmark all write entries the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nv::kolmar {

// One gzip stream with the header 1F 8B 08 00 00 00 00 00 00 0B (no name,
// time 0, operating system 11), as the embedded archive carries them.
std::vector<unsigned char> GzipMember(const void* data, std::size_t size);
inline std::vector<unsigned char> GzipMember(const std::vector<unsigned char>& data) {
    return GzipMember(data.data(), data.size());
}

// Appends name, marker, little-endian length and the data as they stand.
void AppendEntry(std::string& archive, std::string_view name, const std::vector<unsigned char>& data);

}  // namespace nv::kolmar
