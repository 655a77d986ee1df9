// No cursor to change on Linux.
#include "framework/wait_cursor.h"

CWaitCursor::CWaitCursor() = default;

CWaitCursor::~CWaitCursor() = default;
