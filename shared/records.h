// Records that cross the launcher's library boundaries. Their layout is the
// contract: arrays of pointer-sized strings, in the order given here.
#pragma once

#include "shared/ansi_string.h"

#include <cstddef>

namespace nv {

// The thirteen launcher texts of a language pack, by index.
struct WordingStruct {
    static constexpr std::size_t kCount = 13;
    AnsiString Text[kCount];

    AnsiString& operator[](std::size_t i) { return Text[i]; }
    const AnsiString& operator[](std::size_t i) const { return Text[i]; }
};
static_assert(sizeof(WordingStruct) == 13 * sizeof(void*));

// Indexes of the texts the launcher uses.
enum Wording : std::size_t {
    kWordCaption = 0,
    kWordHelpMenu = 1,
    kWordAboutMenu = 2,
    kWordStart = 3,
    kWordExit = 4,
    kWordCannotRepair = 5,
    kWordNoDrive = 6,
    kWordMoreThanOne = 7,
    kWordNoProgram = 8,
    kWordProbeFailed = 9,
    kWordMissingProbe = 10,
    kWordAbout = 11,
    kWordOk = 12,
};

// Identifiers of the one attached drive, filled in place by the probe library.
struct VIDPIDINFO {
    AnsiString VID;
    AnsiString PID;
    AnsiString ValueName;
};
static_assert(sizeof(VIDPIDINFO) == 3 * sizeof(void*));

}  // namespace nv
