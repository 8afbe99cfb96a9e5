#include "platform/paths.h"

#include "platform/env.h"

#include <climits>
#include <unistd.h>

namespace nv::platform {

std::string ProgramPath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string ProgramDir() {
    std::string p = ProgramPath();
    auto slash = p.rfind('/');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

std::string TempDir() {
    std::string dir = GetEnv("TMPDIR").value_or("/tmp");
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string NativePath(std::string_view windows_path) {
    std::string p(windows_path);
    for (char& c : p)
        if (c == '\\') c = '/';
    auto ends_with_ci = [&](std::string_view suffix) {
        if (p.size() < suffix.size()) return false;
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            char a = p[p.size() - suffix.size() + i];
            if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
            if (a != suffix[i]) return false;
        }
        return true;
    };
    if (ends_with_ci(".dll")) p.replace(p.size() - 4, 4, ".so");
    else if (ends_with_ci(".exe")) p.resize(p.size() - 4);
    return p;
}

}  // namespace nv::platform
