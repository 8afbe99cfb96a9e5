#include "platform/named_mutex.h"

#include "platform/linux/local_name.h"

#include <cerrno>
#include <unistd.h>

namespace nv::platform {

NamedMutex::~NamedMutex() { Release(); }

void NamedMutex::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

NamedMutex::Result NamedMutex::Create(std::string_view name) {
    Release();
    sockaddr_un addr;
    socklen_t len = 0;
    if (!linux_impl::LocalAddress("mutex", name, addr, len)) return Result::Failed;

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Result::Failed;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        int err = errno;
        ::close(fd);
        if (err == EADDRINUSE) return Result::AlreadyExists;
        if (err == EACCES || err == EPERM) return Result::AccessDenied;
        return Result::Failed;
    }
    fd_ = fd;
    return Result::Created;
}

}  // namespace nv::platform
