// A scratch directory per test, removed afterwards, with TMPDIR pointed at
// it so that staging files and the work directory land inside.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace nv::kolmar::testing {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kolmar-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
        ::setenv("TMPDIR", path_.c_str(), 1);
    }
    ~ScratchDir() {
        if (old_tmpdir_) ::setenv("TMPDIR", old_tmpdir_->c_str(), 1);
        else ::unsetenv("TMPDIR");
        std::error_code ec;
        // Read-only leftovers must not stop the clean-up.
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
    std::optional<std::string> old_tmpdir_;
};

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace nv::kolmar::testing
