// Platform-independent part of the progress bar: messages and byte scaling.
#include "framework/progress_ctrl.h"

int ScaleShiftFor(uint64_t total) {
    int shift = 0;
    while ((total >> shift) > 0x7FFFFFFFull) ++shift;
    return shift;
}

void CProgressCtrl::SetRange32(int lowerBound, int upperBound) {
    SendMessage(PbmSetRange32, static_cast<uintptr_t>(lowerBound), upperBound);
}

int CProgressCtrl::SetPos(int newPosition) {
    return static_cast<int>(SendMessage(PbmSetPos, static_cast<uintptr_t>(newPosition), 0));
}

int CProgressCtrl::GetPos() const { return static_cast<int>(SendMessage(PbmGetPos, 0, 0)); }

int CProgressCtrl::GetRangeLower() const { return static_cast<int>(SendMessage(PbmGetRange, 1, 0)); }

int CProgressCtrl::GetRangeUpper() const { return static_cast<int>(SendMessage(PbmGetRange, 0, 0)); }

void CProgressCtrl::SetByteRange(uint64_t total) {
    scaleShift = ScaleShiftFor(total);
    byteTotal = total;
    bytesDone = 0;
    byteCounting = true;
    sentPosition = -1;
    SetRange32(0, static_cast<int>(total >> scaleShift));
}

int CProgressCtrl::SetBytePos(uint64_t done) {
    bytesDone = done;
    uint64_t scaled = done >> scaleShift;
    if (scaled > 0x7FFFFFFFull) scaled = 0x7FFFFFFFull;
    const int64_t upper = static_cast<int64_t>(byteTotal >> scaleShift);
    if (byteCounting && sentPosition >= 0 && upper > 0 && static_cast<int64_t>(scaled) < upper) {
        const int64_t steps = DrawnSteps();
        if (static_cast<int64_t>(scaled) * steps / upper == int64_t{sentPosition} * steps / upper)
            return sentPosition;
    }
    sentPosition = static_cast<int>(scaled);
    return SetPos(sentPosition);
}
