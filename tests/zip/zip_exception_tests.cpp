// Archive errors: texts, zlib codes and the fallbacks through the system's
// last error and errno.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "framework/file_exception.h"
#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_path.h"

namespace {

const bool kWindows = CZipPath::NativeStyle() == CZipPath::Style::Windows;

// The description of `code` with the last system error and errno set first
// (nothing else runs in between). On Linux the last system error is errno
// itself: a non-zero `lastError` is what errno holds there.
std::string Describe(int code, unsigned long lastError, int errnoValue) {
    CZipException e(code);
    errno = errnoValue;
    if (kWindows || lastError != 0) ZipFs::SetLastSystemError(lastError);
    return e.GetDescription();
}

std::string SystemTextFor(unsigned long lastError) {
    ZipFs::SetLastSystemError(lastError);
    return CZipException::SystemErrorText();
}

}  // namespace

TEST(ZipException, FixedTexts) {
    const struct {
        int code;
        const char* text;
    } table[] = {
        {101, "Damaged or not a zip file"},
        {102, "Crc mismatched"},
        {103, "No disk-spanning callback functor set"},
        {104, "Disk change aborted"},
        {105, "Action aborted"},
        {106, "Action aborted safely"},
        {107, "The device selected for the disk spanning archive is non removable"},
        {108, "Limit of the maximum volumes reached (999)"},
        {109, "The filename of the file being added to the archive is too long"},
        {110, "Incorrect password set for the file being decrypted"},
        {111, "During testing found the directory with the size greater than 0"},
        {112, "Internal error"},
        {115, "Cannot create the file for the specified platform"},
        {116, "The central directory was not found in the archive (or you were trying to open "
              "not the last disk of a multi-disk archive)"},
        {117, "Entry path leaves the target folder"},
        {118, "Entry name cannot be decoded on this system"},
        {119, "Links, devices and other special entries are not extracted"},
        {500, "Zlib Library error (end of stream)"},
        {503, "Zlib library error (stream error)"},
        {504, "Zlib library error (data error)"},
        {505, "Not enough memory"},
        {506, "Zlib library error (buffer error)"},
        {507, "Zlib library error (version error)"},
        // errno numbers, reached through the fallbacks
        {1, "Not super-user"}, {2, "No such file or directory"}, {4, "Interrupted system call"},
        {5, "I/O error"}, {6, "No such device or address"}, {9, "Bad file number"},
        {12, "Not enough space"}, {13, "Permission denied"}, {14, "Bad address"},
        {17, "File exists"}, {18, "Cross-device link"}, {19, "No such device"},
        {20, "Not a directory"}, {21, "Is a directory"}, {22, "Invalid argument"},
        {23, "File table overflow"}, {24, "Too many open files"}, {27, "File too large"},
        {28, "No space left on device"}, {29, "Illegal seek"}, {30, "Read-only file system"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(CZipException::MessageForCode(row.code, true), row.text) << row.code;
        EXPECT_EQ(Describe(row.code, 5, 13), row.text) << row.code;
    }
    // Everything else has no text of its own.
    for (int code : {0, -1, 3, 7, 8, 10, 11, 15, 16, 25, 26, 31, 100, 120, 499, 501, 508, 100000})
        EXPECT_EQ(CZipException::MessageForCode(code, true), "Unknown error") << code;
}

TEST(ZipException, ZlibResults) {
    const int results[] = {1, 2, -1, -2, -3, -4, -5, -6};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(CZipException::ZlibResultToCode(results[i]), 500 + i);
    for (int other : {0, 3, -7, 100}) EXPECT_EQ(CZipException::ZlibResultToCode(other), 100);
}

TEST(ZipException, UnknownCodesFallBackToTheSystemText) {
    // No system error and no errno: "Unknown error".
    EXPECT_EQ(Describe(501, 0, 0), "Unknown error");
    EXPECT_EQ(Describe(100, 0, 0), "Unknown error");
    // A system error: the system's own text (FormatMessageA on Windows, the
    // C library's on Linux), not the errno table's.
    const std::string system2 = SystemTextFor(2);
    EXPECT_EQ(Describe(100, 2, 0), system2);
    if (kWindows) {
        EXPECT_FALSE(system2.empty());
        EXPECT_NE(system2, "No such file or directory");
        // Windows: a last error of 0 falls back to the errno table.
        EXPECT_EQ(Describe(100, 0, 13), "Permission denied");
        EXPECT_EQ(Describe(120, 0, 7), "Unknown error");
        // A number the system has no text for gives an empty text.
        EXPECT_EQ(Describe(100, 0x2000FFFFul, 0), "");
    } else {
        EXPECT_EQ(system2, std::strerror(2));
    }
}

TEST(ZipException, ZlibSystemErrorGoesThroughErrno) {
    EXPECT_EQ(Describe(502, 0, 13), "Permission denied");
    EXPECT_EQ(Describe(502, 0, 2), "No such file or directory");
    // errno 0: the unknown-code rule with the system fallback allowed.
    EXPECT_EQ(Describe(502, 0, 0), "Unknown error");
    EXPECT_EQ(Describe(502, 3, 0), SystemTextFor(3));
    // errno 502 is taken as 100, never followed around again.
    const std::string asGeneric = Describe(100, 0, 502);
    EXPECT_EQ(Describe(502, 0, 502), asGeneric);
    if (kWindows) {
        EXPECT_EQ(asGeneric, "Unknown error");
    }
}

TEST(ZipException, RemoveAndRenameCarryTheSystemText) {
    EXPECT_EQ(Describe(113, 0, 0), "Error while removing a file (Unknown error)");
    EXPECT_EQ(Describe(114, 0, 0), "Error while renaming a file (Unknown error)");
    const std::string system5 = SystemTextFor(5);
    EXPECT_EQ(Describe(114, 5, 0), "Error while renaming a file (" + system5 + ")");
    EXPECT_EQ(Describe(113, 5, 0), "Error while removing a file (" + system5 + ")");
    if (kWindows) {
        EXPECT_EQ(Describe(113, 0, 17), "Error while removing a file (File exists)");
        // errno values that are archive codes end without endless recursion.
        EXPECT_EQ(Describe(100, 0, 113), "Error while removing a file (Unknown error)");
        EXPECT_EQ(Describe(100, 0, 502), "Unknown error");
    }
}

TEST(ZipException, CopyDescription) {
    CZipException e(ErrDamagedArchive, "a.zip");
    char buffer[64];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_TRUE(e.CopyDescription(buffer, 1));
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'z');
    EXPECT_TRUE(e.CopyDescription(buffer, 5));
    EXPECT_STREQ(buffer, "Dama");
    unsigned help = 77;
    EXPECT_TRUE(e.CopyDescription(buffer, sizeof buffer, &help));
    EXPECT_STREQ(buffer, "Damaged or not a zip file");
    EXPECT_EQ(help, 77u);
    EXPECT_FALSE(e.CopyDescription(buffer, 0));
    EXPECT_FALSE(e.CopyDescription(nullptr, 10));
    // Through the framework's interface: the same text.
    EXPECT_EQ(e.GetErrorMessage(), "Damaged or not a zip file");
    if (kWindows) {
        CZipException empty(ErrGeneric);
        ZipFs::SetLastSystemError(0x2000FFFFul);
        EXPECT_FALSE(empty.CopyDescription(buffer, sizeof buffer));
    }
}

TEST(ZipException, ThrownAsPointerAndRecognisedAmongOthers) {
    int seen = 0;
    for (int round = 0; round < 3; ++round) {
        try {
            if (round == 0) ThrowZipError(ErrCrcMismatch, "x.zip");
            if (round == 1) ThrowZipError(ErrPlatformUnsupported);
            CFileException::ThrowOsError(0, "f");
        } catch (CException* e) {
            if (e->IsKindOf(RUNTIME_CLASS(CZipException))) {
                CZipException* z = static_cast<CZipException*>(e);
                EXPECT_STREQ(e->GetRuntimeClass()->className, "CZipException");
                if (round == 0) {
                    EXPECT_EQ(z->errorCode, 102);
                    EXPECT_EQ(z->fileName, "x.zip");
                } else {
                    EXPECT_EQ(z->errorCode, 115);
                    EXPECT_EQ(z->fileName, "");  // empty, never null
                }
                ++seen;
            } else {
                EXPECT_EQ(round, 2);
            }
            EXPECT_TRUE(e->autoDelete);
            e->Delete();
        }
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(CZipException(ErrGeneric, static_cast<const char*>(nullptr)).fileName, "");
    EXPECT_EQ(CZipException().errorCode, ErrGeneric);
}
