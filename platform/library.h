// Run-time library loading by relative name, as the programs bind their
// language pack, the probe library and the Kolmar device library.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace nv::platform {

class Library {
public:
    // Loads "NorvalynDLL.dll" as NorvalynDLL.so: first from the program's own
    // directory, then through the loader's search. nullptr when not found;
    // LastLoadError() then tells why.
    static std::unique_ptr<Library> Load(std::string_view name);
    static std::string LastLoadError();

    ~Library();  // keeps the module loaded, as the programs never unload
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Export by plain name; nullptr when missing.
    void* Symbol(const char* name) const;
    template <typename F>
    F Function(const char* name) const { return reinterpret_cast<F>(Symbol(name)); }

    // Unloads now (only the Kolmar device library is ever freed).
    void Free();
    const std::string& Path() const { return path_; }

private:
    Library(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    void* handle_;
    std::string path_;
};

}  // namespace nv::platform
