#include "kolmar/archive/archive_writer.h"

#include "kolmar/archive/boot_code_archive.h"
#include "shared/byte_order.h"

#include <zlib.h>

namespace nv::kolmar {

std::vector<unsigned char> GzipMember(const void* data, std::size_t size) {
    z_stream zs{};
    // 15 window bits plus 16: a gzip wrapper instead of zlib's own.
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    gz_header header{};
    header.os = 11;
    deflateSetHeader(&zs, &header);
    std::vector<unsigned char> out(deflateBound(&zs, static_cast<uLong>(size)) + 32);
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) return {};
    return out;
}

void AppendEntry(std::string& archive, std::string_view name, const std::vector<unsigned char>& data) {
    archive.append(name);
    archive.append(EntryMarker.data(), EntryMarker.size());
    unsigned char len[4];
    bytes::put_le32(len, static_cast<std::uint32_t>(data.size()));
    archive.append(reinterpret_cast<const char*>(len), 4);
    archive.append(reinterpret_cast<const char*>(data.data()), data.size());
}

}  // namespace nv::kolmar
