#include "zip/zip_path.h"

#include <cctype>

#include "zip/zip_fs.h"

char CZipPath::Separator(Style style) { return style == Style::Windows ? '\\' : '/'; }

void CZipPath::Split(const std::string& path, Style splitStyle) {
    style = splitStyle;
    const bool windows = style == Style::Windows;
    prefix.clear();
    drive.clear();

    // 1. Prefix.
    size_t start = 0;
    if (windows) {
        static const char kLongUnc[] = "\\\\?\\unc\\";
        size_t matched = 0;
        const size_t n = path.size() < 8 ? path.size() : 8;
        while (matched < n &&
               std::tolower(static_cast<unsigned char>(path[matched])) == kLongUnc[matched])
            ++matched;
        if (matched == 2 || matched == 4 || matched == 8) start = matched;
    } else if (!path.empty() && path[0] == '/') {
        start = 1;
    }
    prefix = path.substr(0, start);

    // 2. Classic split of the rest.
    if (windows && path.size() >= start + 2 && path[start + 1] == ':') {
        drive = path.substr(start, 2);
        start += 2;
    }
    // Last separator and last dot. Paths are UTF-8, whose multi-byte
    // characters never contain separator or dot bytes.
    size_t lastSep = std::string::npos, lastDot = std::string::npos;
    for (size_t i = start; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '/' || (windows && c == '\\')) lastSep = i;
        else if (c == '.') lastDot = i;
    }
    const size_t nameStart = lastSep == std::string::npos ? start : lastSep + 1;
    std::string folderPart = path.substr(start, nameStart - start);
    const size_t extStart =
        (lastDot != std::string::npos && lastDot >= nameStart) ? lastDot : path.size();
    title = path.substr(nameStart, extStart - nameStart);
    std::string ext = path.substr(extStart);

    // 3. Trim.
    const char sep = Separator(style);
    size_t b = folderPart.find_first_not_of(sep);
    size_t e = folderPart.find_last_not_of(sep);
    folder = b == std::string::npos ? std::string() : folderPart.substr(b, e - b + 1);
    SetExtension(ext);
}

void CZipPath::SetExtension(const std::string& ext) {
    size_t b = ext.find_first_not_of('.');
    extension = b == std::string::npos ? std::string() : ext.substr(b);
}

std::string CZipPath::FileName() const {
    return extension.empty() ? title : title + "." + extension;
}

std::string CZipPath::FolderPath() const {
    std::string out = prefix + drive;
    if (!drive.empty() && !folder.empty()) out += Separator(style);
    return out + folder;
}

std::string CZipPath::FullPath() const {
    std::string out = FolderPath();
    const std::string name = FileName();
    if (name.empty()) return out;
    // A path without folder part stays relative; a bare root takes no second
    // separator.
    if (out.empty()) return name;
    if (out.back() != Separator(style)) out += Separator(style);
    return out + name;
}

std::string CZipPath::PathWithoutDrive() const {
    const std::string name = FileName();
    std::string out = folder;
    if (!folder.empty() && !name.empty()) out += Separator(style);
    return out + name;
}
