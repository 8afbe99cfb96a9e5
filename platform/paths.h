// File-system places the programs use, and the one place where paths written
// the original way (backslashes, ".exe", ".dll") become Linux paths.
#pragma once

#include <string>
#include <string_view>

namespace nv::platform {

// Full path of the running program file.
std::string ProgramPath();
// Directory of the running program file, without a trailing slash.
std::string ProgramDir();
// $TMPDIR, else /tmp, with a trailing slash.
std::string TempDir();

// "Language\English.dll" -> "Language/English.so"; "Recovery_RAVIX.exe" ->
// "Recovery_RAVIX". Only the file-name ending and the separators change.
std::string NativePath(std::string_view windows_path);

}  // namespace nv::platform
