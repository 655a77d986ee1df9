// Owners of Windows handles: a kernel object handle (files, folders,
// processes, jobs; both NULL and INVALID_HANDLE_VALUE mean "none") and a
// FindFirstFile search handle.
#pragma once
#include <windows.h>

#include "framework/scoped_handle.h"

struct WinHandleTraits {
    using Value = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
using ScopedWinHandle = ScopedHandle<WinHandleTraits>;

struct FindHandleTraits {
    using Value = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
