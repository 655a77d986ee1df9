// The launcher's progress sink: moves the progress window's bar by the bytes
// written, keeps the window alive by serving its messages, and tells the
// archive reader to stop once the user cancelled.
//
// Moving the bar and serving the queue cost far more than a buffer's worth
// of extraction on some systems (under Wine every look at the queue is a
// round trip to the server), so both happen on a time basis: at most once
// per ServiceInterval, and always when the run total reaches the bar's end,
// so that the bar ends full. Keys, clicks and repaints are thus answered
// within that interval plus one buffer's work.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "framework/progress_ctrl.h"  // ScaleShiftFor, SetByteRange
#include "framework/tick_clock.h"
#include "zip/zip_progress.h"

class CProgressDlg;

class CStepSink : public CZipProgress {
public:
    CStepSink() = default;

    // Time between two services of the window (bar moved, queue served).
    static constexpr std::chrono::milliseconds ServiceInterval{25};

    // Slot 0: adds the bytes to the run total; when the interval has passed
    // or the bar's end is reached, moves the bar to it and serves the
    // window's messages; false once the window's cancel flag is set.
    bool Step(int32_t amount) override;
    // Slot 1: remembers the entry and its destination; work counters to 0.
    void Begin(const std::string& inArchive, const std::string& onDisk) override;
    // Slot 2: nothing (the bar's range covers the whole run).
    void SetWorkTotal(int64_t total) override;
    // Slot 3: nothing.
    void End() override;
    // Slot 4: adds the bytes to the entry's work done, then Step.
    bool Advance(int32_t amount) override;

    // Bytes written so far over all entries. 64 bits: a run may write more
    // than 2^31 - 1 bytes; the bar scales them (CProgressCtrl::SetByteRange).
    uint64_t runTotal = 0;
    // The window whose bar and cancel flag the sink uses; set by its owner.
    CProgressDlg* window = nullptr;

private:
    TickClock::time_point nextService{};
};
