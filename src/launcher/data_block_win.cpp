// File access of the block reader on Windows: CreateFileA for reading,
// shared for reading only, and positioned reads.
#include "launcher/data_block.h"

#include <windows.h>

namespace {
HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
}  // namespace

CBlockFile::~CBlockFile() {
    if (AsHandle(handle) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle));
}

bool CBlockFile::Open(const std::string& path) {
    if (path.empty()) return false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle = reinterpret_cast<intptr_t>(h);
    return true;
}

size_t CBlockFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (AsHandle(handle) == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(AsHandle(handle), position, nullptr, FILE_BEGIN)) return 0;
    size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(size - done > 0x10000000 ? 0x10000000 : size - done);
        if (!ReadFile(AsHandle(handle), static_cast<char*>(buffer) + done, want, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    return done;
}
