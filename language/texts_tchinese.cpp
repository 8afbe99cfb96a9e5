// Traditional Chinese texts, in UTF-8 (the 8-bit text the Linux build shows).
#include "language/pack.h"

namespace nv::language {
const char* const kPackTexts[WordingStruct::kCount] = {
    "Norvalyn 修復工具",
    "說明(&H)",
    "關於 Norvalyn 修復工具(&A)...",
    "開始(&S)",
    "結束(&X)",
    "\n本程式無法修復這個 Norvalyn！",
    "\n找不到任何 Norvalyn，請再檢查一次。",
    "\n找到一個以上的 USB 裝置，請移除其他 USB 裝置，只保留一個您要修復的 Norvalyn，然後按「開始」。",
    "\n本程式無法修復這個隨身碟。\n\n請再檢查一次。",
    "\n無法取得 USB 裝置資訊！",
    "\n找不到 'NorvalynDLL.dll' 檔案。\n\n請重新安裝 Norvalyn 修復工具。",
    "關於",
    "確定(&O)",
};
}
