// The wait cursor on Windows.
#include "framework/wait_cursor.h"

#include <windows.h>

CWaitCursor::CWaitCursor() { previous = ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); }

CWaitCursor::~CWaitCursor() { ::SetCursor(static_cast<HCURSOR>(previous)); }
