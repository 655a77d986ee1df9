// Windows side of the builder's platform operations: wide Win32 calls on
// paths of any length (system_path_win.h).
#define _CRT_RAND_S
#include <stdlib.h>

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "pack_error.h"
#include "pack_fs.h"
#include "system_path_win.h"

namespace kvpack {

const unsigned char PlatformHostSystem = 0;
const char PlatformSeparator = '\\';

static std::string Reason(DWORD code = GetLastError()) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
        result.pop_back();
    return result;
}

static HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

CPackFile::~CPackFile() {
    if (handle_ != -1) CloseHandle(H(handle_));
}

void CPackFile::OpenRead(const std::string& path) {
    Close();
    HANDLE h = CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw CPackError("cannot open '" + path + "': " + Reason());
    handle_ = reinterpret_cast<intptr_t>(h);
    path_ = path;
}

bool CPackFile::CreateNew(const std::string& path) {
    Close();
    HANDLE h = CreateFileW(SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return false;
        throw CPackError("cannot create '" + path + "': " + Reason(code));
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    path_ = path;
    return true;
}

bool CPackFile::IsOpen() const { return handle_ != -1; }

void CPackFile::Close() {
    if (handle_ != -1) {
        BOOL ok = CloseHandle(H(handle_));
        handle_ = -1;
        if (!ok) throw CPackError("cannot close '" + path_ + "': " + Reason());
    }
}

size_t CPackFile::Read(void* buffer, size_t count) {
    DWORD got = 0;
    if (!ReadFile(H(handle_), buffer, static_cast<DWORD>(count), &got, nullptr))
        throw CPackError("cannot read '" + path_ + "': " + Reason());
    return got;
}

void CPackFile::Write(const void* data, size_t count) {
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        DWORD put = 0;
        DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
        if (!WriteFile(H(handle_), p, chunk, &put, nullptr) || put == 0)
            throw CPackError("cannot write '" + path_ + "': " + Reason());
        p += put;
        count -= put;
    }
}

void CPackFile::Seek(uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN))
        throw CPackError("cannot seek in '" + path_ + "': " + Reason());
}

uint64_t CPackFile::Tell() {
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(H(handle_), zero, &pos, FILE_CURRENT))
        throw CPackError("cannot seek in '" + path_ + "': " + Reason());
    return static_cast<uint64_t>(pos.QuadPart);
}

uint64_t CPackFile::Size() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(H(handle_), &size)) throw CPackError("cannot query '" + path_ + "': " + Reason());
    return static_cast<uint64_t>(size.QuadPart);
}

void CPackFile::Truncate(uint64_t length) {
    uint64_t keep = Tell();
    Seek(length);
    if (!SetEndOfFile(H(handle_))) throw CPackError("cannot truncate '" + path_ + "': " + Reason());
    Seek(keep < length ? keep : length);
}

static std::time_t FromFileTime(const FILETIME& ft) {
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    // 100-ns ticks since 1601 to seconds since 1970.
    return static_cast<std::time_t>(v.QuadPart / 10000000ULL - 11644473600ULL);
}

FileInfo StatPath(const std::string& path) {
    FileInfo info;
    // Opening the file follows links and gives size, times and identity at once.
    HANDLE h = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME)
            return info;
        throw CPackError("cannot query '" + path + "': " + Reason(code));
    }
    BY_HANDLE_FILE_INFORMATION bh;
    BOOL ok = GetFileInformationByHandle(h, &bh);
    DWORD code = GetLastError();
    CloseHandle(h);
    if (!ok) throw CPackError("cannot query '" + path + "': " + Reason(code));
    info.exists = true;
    info.isFolder = (bh.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.isFile = !info.isFolder && !(bh.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
    info.size = info.isFile ? (static_cast<uint64_t>(bh.nFileSizeHigh) << 32) | bh.nFileSizeLow : 0;
    info.modified = FromFileTime(bh.ftLastWriteTime);
    // Read-only, hidden, system, folder and archive: the DOS attribute bits.
    info.externalAttributes = bh.dwFileAttributes & 0x37;
    info.identity = std::to_string(bh.dwVolumeSerialNumber) + ":" + std::to_string(bh.nFileIndexHigh) + ":" +
                    std::to_string(bh.nFileIndexLow);
    return info;
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(SystemPath(JoinPath(path, "*")).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return names;
        throw CPackError("cannot read folder '" + path + "': " + Reason(code));
    }
    do {
        if (std::wcscmp(fd.cFileName, L".") == 0 || std::wcscmp(fd.cFileName, L"..") == 0) continue;
        names.push_back(NarrowName(fd.cFileName));
    } while (FindNextFileW(h, &fd));
    DWORD code = GetLastError();
    FindClose(h);
    if (code != ERROR_NO_MORE_FILES) throw CPackError("cannot read folder '" + path + "': " + Reason(code));
    return names;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '\\' || last == '/' || last == ':') return folder + name;
    return folder + "\\" + name;
}

bool LocalTime(std::time_t t, std::tm& out) { return localtime_s(&out, &t) == 0; }

void MoveIntoPlace(const std::string& source, const std::string& target) {
    if (!MoveFileExW(SystemPath(source).c_str(), SystemPath(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw CPackError("cannot rename '" + source + "' to '" + target + "': " + Reason());
}

void RemoveFileQuietly(const std::string& path) { DeleteFileW(SystemPath(path).c_str()); }

void RemoveEmptyFolderQuietly(const std::string& path) { RemoveDirectoryW(SystemPath(path).c_str()); }

void CopyPermissions(const std::string&, CPackFile&) {}

bool StderrIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void FillRandom(unsigned char* buffer, size_t count) {
    for (size_t i = 0; i < count; i += 4) {
        unsigned int value;
        if (rand_s(&value) != 0) throw CPackError("cannot read the system's random source");
        for (size_t k = 0; k < 4 && i + k < count; ++k) buffer[i + k] = static_cast<unsigned char>(value >> (8 * k));
    }
}

static char g_interruptPath[MAX_PATH + 1];
static volatile LONG g_interruptArmed = 0;

// The output is open with FILE_SHARE_DELETE, so the deletion takes effect when
// the process ends and its handle closes.
static BOOL WINAPI OnConsoleEvent(DWORD) {
    if (g_interruptArmed) DeleteFileA(g_interruptPath);
    return FALSE;  // let the default handler end the process
}

bool CreateRemovedOnInterrupt(CPackFile& file, const std::string& path) {
    // The console handler runs on its own thread; arming right after the
    // creation leaves only a short window, which Windows offers no way to close.
    if (!file.CreateNew(path)) return false;
    if (path.size() < sizeof g_interruptPath) {
        std::memcpy(g_interruptPath, path.c_str(), path.size() + 1);
        g_interruptArmed = 1;
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }
    return true;
}

void ForgetOnInterrupt() { g_interruptArmed = 0; }

}  // namespace kvpack
