// The progress-bar control ("msctls_progress32" on Windows; on Linux a
// one-line bar on stderr, drawn only when stderr is a terminal).
#pragma once

#include <cstdint>
#include <string>

#include "framework/window.h"

constexpr unsigned PbmSetPos = 1026;      // PBM_SETPOS
constexpr unsigned PbmSetRange32 = 1030;  // PBM_SETRANGE32
constexpr unsigned PbmGetRange = 1031;    // PBM_GETRANGE
constexpr unsigned PbmGetPos = 1032;      // PBM_GETPOS

// The number of bits by which byte counts are shifted right so that `total`
// fits the bar's signed 32-bit range (0 for totals up to 2^31 - 1).
int ScaleShiftFor(uint64_t total);

class CProgressCtrl : public CWnd {
public:
    // Sends the 32-bit range message with the given bounds.
    virtual void SetRange32(int lower, int upper);
    // Sends the set-position message; returns the previous position.
    virtual int SetPos(int position);
    int GetPos() const;
    int GetRangeUpper() const;
    int GetRangeLower() const;

    // Byte-counting use: the range becomes 0 .. total and later positions are
    // byte counts, both shifted right by ScaleShiftFor(total) so that totals
    // above 2^31 - 1 still move the bar from empty to full. A position that
    // would draw the bar as it already is drawn is not sent (the end of the
    // range always is); the result is then the position last sent.
    void SetByteRange(uint64_t total);
    int SetBytePos(uint64_t done);
    int ScaleShift() const { return scaleShift; }
    // The total of the last SetByteRange (0 before any).
    uint64_t ByteTotal() const { return byteTotal; }

    // Linux: keeps the range and position and redraws the terminal line.
    intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    void ShowWindow(int showCommand) override;

private:
    // Distinct fill states the bar can show: its width in pixels on Windows;
    // a fine fixed count on Linux, whose redraws are limited by time instead.
    int DrawnSteps() const;
    int scaleShift = 0;
    int sentPosition = -1;  // -1: nothing sent since the range was set
    uint64_t byteTotal = 0;
    uint64_t bytesDone = 0;
    bool byteCounting = false;
    // Linux state of the bar.
    int lower = 0;
    int upper = 100;
    int position = 0;
    bool lineDrawn = false;
    std::string lastLine;
    int64_t lastDrawMs = 0;
    void Redraw();
    void ClearLine();
};
