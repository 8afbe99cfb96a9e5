#include "platform/process.h"

#include "platform/env.h"
#include "platform/paths.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace nv::platform {
namespace {

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> FindProgram(std::string_view name) {
    std::string file = NativePath(name);
    if (file.find('/') != std::string::npos) {
        if (is_executable_file(file)) return file;
        return std::nullopt;
    }
    std::string own = ProgramDir() + "/" + file;
    if (is_executable_file(own)) return own;
    std::string path = GetEnv("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string dir = path.substr(start, end - start);
        if (dir.empty()) dir.push_back('.');
        // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on a + "/" + b.
        std::string candidate = dir;
        candidate += '/';
        candidate += file;
        if (is_executable_file(candidate)) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

bool StartDetached(const std::string& path) {
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

unsigned WinExec(std::string_view name, int /*show*/) {
    auto path = FindProgram(name);
    if (!path) return 2;  // ERROR_FILE_NOT_FOUND
    return StartDetached(*path) ? 33u : 0u;
}

bool ShellExecuteOpen(std::string_view name) {
    auto path = FindProgram(name);
    return path && StartDetached(*path);
}

bool CreateProcess(std::string_view application_path) {
    std::string path = NativePath(application_path);
    return is_executable_file(path) && StartDetached(path);
}

}  // namespace nv::platform
