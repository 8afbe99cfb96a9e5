#include "platform/library.h"

#include "platform/paths.h"

#include <dlfcn.h>

namespace nv::platform {
namespace {
thread_local std::string g_last_error;
}

std::unique_ptr<Library> Library::Load(std::string_view name) {
    std::string file = NativePath(name);
    std::string candidates[2];
    int n = 0;
    if (!file.empty() && file.front() == '/') {
        candidates[n++] = file;
    } else {
        candidates[n++] = ProgramDir() + "/" + file;
        // Like the loader's own search for a bare name; a relative path with a
        // folder is only tried beside the program.
        if (file.find('/') == std::string::npos) candidates[n++] = file;
    }
    g_last_error.clear();
    for (int i = 0; i < n; ++i) {
        if (void* h = ::dlopen(candidates[i].c_str(), RTLD_NOW | RTLD_LOCAL)) {
            return std::unique_ptr<Library>(new Library(h, candidates[i]));
        }
        if (const char* e = ::dlerror()) g_last_error = e;
    }
    return nullptr;
}

std::string Library::LastLoadError() { return g_last_error; }

Library::~Library() = default;

void* Library::Symbol(const char* name) const {
    if (!handle_) return nullptr;
    return ::dlsym(handle_, name);
}

void Library::Free() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace nv::platform
