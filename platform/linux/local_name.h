// Names of the Linux stand-ins for Windows named objects: abstract-namespace
// Unix socket addresses "norvalyn/<session>/<kind>/<name>". Windows keeps
// such names per log-on session; the session is NORVALYN_SESSION when set
// (tests use it to keep their objects apart), else the user id.
#pragma once

#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>

namespace nv::platform::linux_impl {

// False when the name does not fit an address.
bool LocalAddress(std::string_view kind, std::string_view name, sockaddr_un& addr, socklen_t& len);

}  // namespace nv::platform::linux_impl
