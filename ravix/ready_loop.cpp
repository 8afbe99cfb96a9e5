// The readiness loop that opens every command sequence, and the message pump
// the long loops call.
#include "ravix/recovery_dialog.h"

namespace nv::ravix {

bool RecoveryDialog::ReadyLoop(std::uint32_t tries, bool onCurrentRef) {
    for (std::uint32_t i = 0; tries == 0 || i < tries; ++i) {
        OpenDevice();
        if (TestUnitReady(onCurrentRef ? CurrentRef : UnitSlots[0])) return true;
        CloseDevices();
    }
    return false;
}

void RecoveryDialog::PumpMessages() {
    if (View.pumpMessages) View.pumpMessages();
}

}  // namespace nv::ravix
