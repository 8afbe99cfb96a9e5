// FatalAppExit: tell the user and end the process at once, without running
// destructors or exit handlers. A program with a GUI installs a handler that
// shows the text first; without one the text goes to stderr.
#pragma once

#include <string_view>

namespace nv::platform {

using FatalHandler = void (*)(std::string_view text);

// Returns the previous handler.
FatalHandler SetFatalHandler(FatalHandler handler);

[[noreturn]] void FatalAppExit(std::string_view text);

}  // namespace nv::platform
