#include "platform/linux/local_name.h"

#include "platform/env.h"

#include <cstring>
#include <string>
#include <unistd.h>

namespace nv::platform::linux_impl {

bool LocalAddress(std::string_view kind, std::string_view name, sockaddr_un& addr, socklen_t& len) {
    std::string session = GetEnv("NORVALYN_SESSION").value_or("u" + std::to_string(::getuid()));
    std::string full = "norvalyn/" + session + "/";
    full.append(kind);
    full += '/';
    full.append(name);
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    // Byte 0 stays NUL: the abstract namespace.
    if (full.size() + 1 > sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + 1, full.data(), full.size());
    len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + full.size());
    return true;
}

}  // namespace nv::platform::linux_impl
