#include "platform/window_socket.h"

#include "platform/linux/local_name.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace nv::platform {
namespace {

bool make_address(std::string_view title, sockaddr_un& addr, socklen_t& len) {
    return linux_impl::LocalAddress("window", title, addr, len);
}

int connect_to(std::string_view title) {
    sockaddr_un addr;
    socklen_t len = 0;
    if (!make_address(title, addr, len)) return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

WindowEndpoint::~WindowEndpoint() { Close(); }

bool WindowEndpoint::Open(std::string_view title, Handler handler) {
    Close();
    sockaddr_un addr;
    socklen_t len = 0;
    if (!make_address(title, addr, len)) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    handler_ = std::move(handler);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void WindowEndpoint::Close() {
    if (fd_ < 0) return;
    // Wakes the accept below; the descriptor is closed only after the
    // thread is gone so that its number cannot be reused under it.
    ::shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
    fd_ = -1;
}

void WindowEndpoint::Serve() {
    for (;;) {
        int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        // Only the owner's user can reach the name, and a command is one
        // short line: read at most a line's worth and act on it.
        char buf[64];
        std::size_t got = 0;
        while (got < sizeof buf) {
            ssize_t n = ::read(client, buf + got, sizeof buf - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
            if (std::memchr(buf, '\n', got)) break;
        }
        std::string_view command(buf, got);
        if (auto nl = command.find('\n'); nl != std::string_view::npos) command = command.substr(0, nl);
        if (!command.empty() && handler_) handler_(command);
        const char ok[] = "ok\n";
        (void)!::send(client, ok, sizeof ok - 1, MSG_NOSIGNAL);
        ::close(client);
    }
}

bool FindWindow(std::string_view title) {
    int fd = connect_to(title);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool SendWindowCommand(std::string_view title, std::string_view command) {
    int fd = connect_to(title);
    if (fd < 0) return false;
    std::string line(command);
    line += '\n';
    bool sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    char reply[8];
    // Wait for the owner to have taken the command.
    bool answered = sent && ::read(fd, reply, sizeof reply) > 0;
    ::close(fd);
    return answered;
}

}  // namespace nv::platform
