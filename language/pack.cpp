// loadWordings: refreshes the pack's own record from its built-in texts and
// hands back new references to them. The caller releases what it gets; the
// pack's record lives until the library is unloaded.
#include "language/pack.h"

namespace {
nv::WordingStruct g_pack_wordings;  // 13 empty strings until the first call
}

extern "C" __attribute__((visibility("default"))) nv::WordingStruct loadWordings() {
    for (std::size_t i = 0; i < nv::WordingStruct::kCount; ++i) g_pack_wordings[i] = nv::language::kPackTexts[i];
    nv::WordingStruct result;
    for (std::size_t i = 0; i < nv::WordingStruct::kCount; ++i) result[i] = g_pack_wordings[i];
    return result;
}
