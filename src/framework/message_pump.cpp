// The pump loop used during long work, on top of the platform's one-message
// pump.
#include "framework/message_pump.h"

bool PumpWaitingMessages() {
    while (MessageWaiting()) {
        if (!PumpMessage()) {
            // The loop that waits for the quit message must still see it.
            PostQuitRequest(0);
            return false;
        }
    }
    long idle = 0;
    while (RunIdle(idle)) ++idle;
    return true;
}
