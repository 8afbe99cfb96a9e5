// Named mutexes: a system-wide name that exists while the process holding it
// lives. On Linux the name is an abstract-namespace Unix socket, so the
// kernel drops it when its owner ends, however it ends.
#pragma once

#include <string>
#include <string_view>

namespace nv::platform {

class NamedMutex {
public:
    enum class Result { Created, AlreadyExists, AccessDenied, Failed };

    NamedMutex() = default;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;
    ~NamedMutex();

    // Creates the name, not initially owned. AlreadyExists when another
    // process holds it; the object then holds nothing.
    Result Create(std::string_view name);
    bool Held() const { return fd_ >= 0; }
    void Release();

private:
    int fd_ = -1;
};

}  // namespace nv::platform
