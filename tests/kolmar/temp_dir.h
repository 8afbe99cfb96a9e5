// A scratch directory per test, removed afterwards, with TMPDIR pointed at
// it so that staging files and the work directory land inside.
#pragma once

#include "tests/support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace nv::kolmar::testing {

class ScratchDir {
public:
    ScratchDir() : tmpdir_("TMPDIR", dir_.path()) {}
    std::filesystem::path path() const { return dir_.path(); }
    std::string str() const { return dir_.path(); }

private:
    nv::test::TempDir dir_;
    nv::test::ScopedEnv tmpdir_;  // restored before the directory goes
};

using nv::test::ReadFile;

inline void WriteFile(const std::filesystem::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace nv::kolmar::testing
