// Shows the wait cursor for the lifetime of the object and restores the
// previous one afterwards (nothing on Linux).
#pragma once

class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    void* previous = nullptr;
};
