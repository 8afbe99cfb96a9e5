// A language pack: its thirteen built-in texts. Each pack library is built
// from pack.cpp and one texts_*.cpp that defines kPackTexts.
#pragma once

#include "shared/records.h"

namespace nv::language {
extern const char* const kPackTexts[WordingStruct::kCount];
}
