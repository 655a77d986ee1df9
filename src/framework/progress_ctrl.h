// The progress-bar control ("msctls_progress32" on Windows).
#pragma once

#include "framework/window.h"

constexpr unsigned PbmSetPos = 1026;      // PBM_SETPOS
constexpr unsigned PbmSetRange32 = 1030;  // PBM_SETRANGE32

class CProgressCtrl : public CWnd {
public:
    // Sends the 32-bit range message with the given bounds.
    virtual void SetRange32(int lower, int upper);
    // Sends the set-position message; returns the previous position.
    virtual int SetPos(int position);
};
