// The launcher's progress sink.
#include "launcher/step_sink.h"

#include "framework/message_pump.h"
#include "launcher/progress_dlg.h"

bool CStepSink::Step(int32_t amount) {
    if (amount > 0) runTotal += static_cast<uint32_t>(amount);
    if (!window) return true;
    const auto now = TickClock::now();
    if (now >= nextService || runTotal >= window->progressBar.ByteTotal()) {
        nextService = now + ServiceInterval;
        // The position is in the same scaled units as the range the run set.
        window->progressBar.SetBytePos(runTotal);
        // Serve the window (repaints, the cancel request) before the next
        // buffer. A quit request stays posted.
        PumpWaitingMessages();
    }
    return window->cancelFlag == 0;
}

void CStepSink::Begin(const std::string& inArchive, const std::string& onDisk) {
    fileInArchive = inArchive;
    externalFile = onDisk;
    workTotal = 0;
    workDone = 0;
}

void CStepSink::SetWorkTotal(int64_t) {}

void CStepSink::End() {}

bool CStepSink::Advance(int32_t amount) {
    workDone += amount;
    return Step(amount);
}
