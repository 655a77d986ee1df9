// Splits a path into prefix, drive, folder, title and extension, and joins
// the parts again.
//
// Windows style (the Windows build): `\` separates (a `/` also ends the
// folder part); a drive is "C:"; the prefix is a leading `\\` (UNC), `\\?\`
// or `\\?\UNC\` in any letter case; the walk is aware of double-byte
// characters of the ANSI code page; no part is cut (a cut to 255 bytes would
// put the entries of deep trees, and names beyond 255 bytes of UTF-8, under
// wrong names). As the classic split does, a rooted path without a drive
// loses its leading backslash and a drive-relative path becomes rooted
// ("\dir\file" -> "dir\file", "C:file" -> "C:\file"): callers pass full paths.
//
// Posix style (the Linux build): `/` separates; the prefix is "/" for an
// absolute path; there are no drives.
//
// In both styles a path without folder part stays relative: FullPath() of
// "a.zip" is "a.zip".
#pragma once

#include <string>

class CZipPath {
public:
    enum class Style { Windows, Posix };
    // The style of this build's platform.
    static Style NativeStyle();
    // `\` or `/`.
    static char Separator(Style style);

    CZipPath() = default;
    explicit CZipPath(const std::string& path) { Split(path); }
    CZipPath(const std::string& path, Style style) { Split(path, style); }
    virtual ~CZipPath() = default;

    // Replaces all five fields. Later joins use the same style.
    void Split(const std::string& path) { Split(path, NativeStyle()); }
    void Split(const std::string& path, Style style);

    // title + "." + extension (no dot without extension).
    std::string FileName() const;
    // prefix + drive + (separator if drive and folder) + folder.
    std::string FolderPath() const;
    // FolderPath() + separator + FileName().
    std::string FullPath() const;
    // folder + (separator if folder and file name) + FileName().
    std::string PathWithoutDrive() const;
    const std::string& Drive() const { return drive; }
    const std::string& Extension() const { return extension; }
    // extension = ext without its leading dots.
    void SetExtension(const std::string& ext);

    std::string folder;     // without leading or trailing separators
    std::string title;      // file name without extension
    std::string extension;  // without leading dots
    std::string drive;      // "C:" or empty
    std::string prefix;     // as in the input, or empty

private:
    Style style = NativeStyle();
};
