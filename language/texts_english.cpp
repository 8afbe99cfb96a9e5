#include "language/pack.h"

namespace nv::language {
const char* const kPackTexts[WordingStruct::kCount] = {
    "Norvalyn Recovery Tool",
    "&Help",
    "&About Norvalyn Recovery Tool...",
    "&Start",
    "E&xit",
    "\nThis program cannot repair this Norvalyn!",
    "\nThere have no any Norvalyn found, please check again.",
    "\nMore than one USB device found, please remove other USB device and stay one Norvalyn which you want to "
    "repair, then press Start.",
    "\nThe UFD cannot use this program to repair.\n\nPlease check again.",
    "\nGet USB device information failed!",
    "\nMiss 'NorvalynDLL.dll' file.\n\nPlease re-install Norvalyn Recovery Tool.",
    "About",
    "&OK",
};
}
