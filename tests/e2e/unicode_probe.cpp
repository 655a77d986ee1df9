// The program that the Unicode and Zip64 end-to-end tests put into launcher files: it appends
// what it was given (arguments, current folder and its mode, the files below it
// with the CRC-32 of their bytes) to the file named by KVSFX_PROBE_OUT, one item a line, and
// exits at once. Files are read in pieces: they may be larger than memory. Text is written in UTF-8. On Windows everything is read with
// the wide API, so that the report does not depend on the code page that the
// launcher under test works in, and through \\?\ paths, which have no
// MAX_PATH limit.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "framework/scoped_win_handle.h"
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "framework/scoped_fd.h"
#endif

namespace {

// Running CRC-32 (start and end with the value inverted).
uint32_t Crc32(uint32_t crc, const unsigned char* bytes, size_t size) {
    static uint32_t table[256];
    if (!table[1]) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            table[n] = c;
        }
    }
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

struct Found {
    std::string name;  // relative, '/' separators
    bool folder;
    std::string crc;  // eight hex digits, or "unreadable"
};

std::string CrcText(bool readable, uint32_t crc) {
    if (!readable) return "unreadable";
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(~crc));
    return text;
}

#ifdef _WIN32
std::string Utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string FileCrc(const std::wstring& path) {
    ScopedWinHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return CrcText(false, 0);
    static unsigned char buffer[65536];
    uint32_t crc = 0xFFFFFFFFu;
    DWORD got;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got) crc = Crc32(crc, buffer, got);
    return CrcText(true, crc);
}

void List(const std::wstring& folder, const std::string& prefix, std::vector<Found>& out) {
    WIN32_FIND_DATAW data;
    ScopedFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!search) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::string relative = prefix + Utf8(name);
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        out.push_back({relative, isFolder, isFolder ? std::string() : FileCrc(folder + L"\\" + name)});
        if (isFolder) List(folder + L"\\" + name, relative + "/", out);
    } while (FindNextFileW(search.Get(), &data));
}
#else
std::string FileCrc(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return CrcText(false, 0);
    static unsigned char buffer[65536];
    uint32_t crc = 0xFFFFFFFFu;
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) crc = Crc32(crc, buffer, got);
    std::fclose(file);
    return CrcText(true, crc);
}

void List(const std::string& folder, const std::string& prefix, std::vector<Found>& out) {
    ScopedDir listing(opendir(folder.c_str()));
    if (!listing) return;
    while (const dirent* entry = readdir(listing.Get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        const bool isFolder = lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        out.push_back({prefix + name, isFolder, isFolder ? std::string() : FileCrc(path)});
        if (isFolder) List(path, prefix + name + "/", out);
    }
}
#endif

int Report(const std::vector<std::string>& arguments, const std::string& cwd, unsigned cwdMode,
           const std::vector<Found>& found, FILE* out) {
    std::string text;
    for (const std::string& a : arguments) text += "arg " + a + "\n";
    text += "cwd " + cwd + "\n";
    char mode[16];
    std::snprintf(mode, sizeof mode, "%o", cwdMode);
    text += "cwdmode " + std::string(mode) + "\n";
    for (const Found& f : found) {
        text += "file " + f.name + (f.folder ? "/" : "") + "\n";
        if (!f.folder) text += "crc " + f.crc + " " + f.name + "\n";
    }
    text += "end\n";
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    const wchar_t* outPath = _wgetenv(L"KVSFX_PROBE_OUT");
    if (!outPath) return 3;
    FILE* out = _wfopen(outPath, L"ab");
    if (!out) return 4;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(Utf8(argv[i]));
    wchar_t cwd[32768];
    const DWORD length = GetCurrentDirectoryW(32768, cwd);
    std::vector<Found> found;
    // The \\?\ prefix reaches payload paths beyond MAX_PATH.
    List(L"\\\\?\\" + std::wstring(cwd, length), "", found);
    // The permission bits as the C++ library gives them on Windows.
    const unsigned mode = (GetFileAttributesW(cwd) & FILE_ATTRIBUTE_READONLY) ? 0555 : 0777;
    return Report(arguments, Utf8(std::wstring(cwd, length)), mode, found, out);
}
#else
int main(int argc, char** argv) {
    const char* outPath = std::getenv("KVSFX_PROBE_OUT");
    if (!outPath) return 3;
    FILE* out = std::fopen(outPath, "ab");
    if (!out) return 4;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) cwd.resize(cwd.size() * 2);
    std::vector<Found> found;
    List(cwd.data(), "", found);
    struct stat st;
    const unsigned mode = stat(cwd.data(), &st) == 0 ? (st.st_mode & 07777) : 0;
    return Report(arguments, cwd.data(), mode, found, out);
}
#endif
