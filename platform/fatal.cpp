#include "platform/fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace nv::platform {
namespace {
std::atomic<FatalHandler> g_handler{nullptr};
}

FatalHandler SetFatalHandler(FatalHandler handler) { return g_handler.exchange(handler); }

void FatalAppExit(std::string_view text) {
    if (FatalHandler h = g_handler.load()) h(text);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    std::_Exit(3);
}

}  // namespace nv::platform
