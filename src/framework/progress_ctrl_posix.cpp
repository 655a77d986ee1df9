// The progress bar on Linux: one line on stderr, redrawn in place, with a
// bar, the percentage and the bytes written. Nothing is drawn unless stderr
// is a terminal, so logs and pipes stay clean. The line is redrawn at most
// ten times a second, except that the full bar always shows.
#include "framework/progress_ctrl.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "framework/tick_clock.h"

namespace {

constexpr int64_t kRedrawIntervalMs = 100;

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::string HumanBytes(uint64_t bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

void WriteAll(const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t written = write(STDERR_FILENO, data, left);
        if (written <= 0) return;
        data += written;
        left -= static_cast<size_t>(written);
    }
}

}  // namespace

intptr_t CProgressCtrl::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case PbmSetRange32:
        lower = static_cast<int>(wParam);
        upper = static_cast<int>(lParam);
        if (position < lower) position = lower;
        if (position > upper) position = upper;
        Redraw();
        return 0;
    case PbmSetPos: {
        int previous = position;
        int wanted = static_cast<int>(wParam);
        position = wanted < lower ? lower : (wanted > upper ? upper : wanted);
        Redraw();
        return previous;
    }
    case PbmGetPos:
        return position;
    case PbmGetRange:
        return wParam ? lower : upper;
    default:
        return 0;
    }
}

void CProgressCtrl::ShowWindow(int showCommand) {
    CWnd::ShowWindow(showCommand);
    // The line appears with the first range or position, not on showing.
    if (showCommand == SwHide) ClearLine();
}

int CProgressCtrl::DrawnSteps() const { return 1000; }

void CProgressCtrl::Redraw() {
    if (!IsWindowVisible()) return;
    const int64_t now = TickClock::now().time_since_epoch().count();
    if (lineDrawn && position != upper && now - lastDrawMs < kRedrawIntervalMs) return;
    if (!StderrIsTerminal()) return;
    constexpr int width = 30;
    long long span = static_cast<long long>(upper) - lower;
    long long done = static_cast<long long>(position) - lower;
    int percent = span > 0 ? static_cast<int>(done * 100 / span) : 0;
    int filled = span > 0 ? static_cast<int>(done * width / span) : 0;
    std::string line = "\r[";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(width - filled), '-');
    char tail[96];
    if (byteCounting)
        std::snprintf(tail, sizeof tail, "] %3d%%  %s / %s", percent, HumanBytes(bytesDone).c_str(),
                      HumanBytes(byteTotal).c_str());
    else
        std::snprintf(tail, sizeof tail, "] %3d%%", percent);
    line += tail;
    line += "\x1b[K";
    // Many buffers change nothing that shows; write only what changed.
    if (lineDrawn && line == lastLine) return;
    WriteAll(line);
    lastLine = line;
    lineDrawn = true;
    lastDrawMs = now;
}

void CProgressCtrl::ClearLine() {
    if (!lineDrawn) return;
    lineDrawn = false;
    if (StderrIsTerminal()) WriteAll("\r\x1b[K");
}
