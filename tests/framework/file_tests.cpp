// The framework's exceptions and file class.
#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "framework/file.h"
#include "framework/file_exception.h"
#include "test_support.h"

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

// Runs `op`, which must throw a CFileException*; returns a copy of it.
template <class Op>
CFileException CatchFile(Op op) {
    try {
        op();
    } catch (CFileException* e) {
        CFileException copy(*e);
        e->Delete();
        return copy;
    }
    ADD_FAILURE() << "no CFileException thrown";
    return CFileException(-1);
}

}  // namespace

TEST(FileException, TextForEveryCauseWithTheFileName) {
    const char* expected[] = {
        "No error occurred.",
        "An unknown error occurred while accessing x.zip.",
        "x.zip was not found.",
        "x.zip contains an invalid path.",
        "x.zip could not be opened because there are too many open files.",
        "Access to x.zip was denied.",
        "An invalid file handle was associated with x.zip.",
        "x.zip could not be removed because it is the current directory.",
        "x.zip could not be created because the directory is full.",
        "Seek failed on x.zip",
        "A hardware I/O error was reported while accessing x.zip.",
        "A sharing violation occurred while accessing x.zip.",
        "A locking violation occurred while accessing x.zip.",
        "Disk full while accessing x.zip.",
        "An attempt was made to access x.zip past its end.",
    };
    for (int cause = 0; cause <= 14; ++cause) {
        CFileException e(cause, 0, "x.zip");
        EXPECT_EQ(e.GetErrorMessage(), expected[cause]) << "cause " << cause;
    }
    EXPECT_EQ(CFileException(CFileException::CauseFileNotFound).GetErrorMessage(),
              "an unnamed file was not found.");
    // A cause outside the table reads as the unknown error.
    EXPECT_EQ(CFileException(99, 0, "y").GetErrorMessage(),
              "An unknown error occurred while accessing y.");
    // A name that itself contains "%1" is inserted as it is.
    EXPECT_EQ(CFileException(5, 0, "a%1b").GetErrorMessage(), "Access to a%1b was denied.");
}

TEST(FileException, MessagesAreCutToTheBuffer) {
    const std::string longName(1200, 'n');
    CFileException e(CFileException::CauseAccessDenied, 5, longName);
    const std::string message = e.GetErrorMessage();
    ASSERT_EQ(message.size(), 999u);
    EXPECT_EQ(message, ("Access to " + longName).substr(0, 999));

    char small[8] = "zzzzzzz";
    EXPECT_TRUE(e.GetErrorMessage(small, 5));
    EXPECT_STREQ(small, "Acce");
    EXPECT_FALSE(e.GetErrorMessage(nullptr, 5));
    EXPECT_FALSE(e.GetErrorMessage(small, 0));
    // The base class has no message of its own.
    CException plain;
    EXPECT_FALSE(plain.GetErrorMessage(small, sizeof small));
    EXPECT_EQ(plain.GetErrorMessage(), "");
}

TEST(FileException, RunTimeClassTellsTheKindsApart) {
    try {
        CFileException::ThrowOsError(0, "f");
    } catch (CException* e) {
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CFileException)));
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CObject)));
        EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(CFile)));
        EXPECT_STREQ(e->GetRuntimeClass()->className, "CFileException");
        EXPECT_EQ(static_cast<CFileException*>(e)->cause, CFileException::CauseNone);
        e->Delete();
    }
}

TEST(File, OpenModesCreateKeepOrRequireTheFile) {
    ScratchDir dir;
    const std::string path = dir / "f.bin";

    // Without OpenCreate the file must exist, with or without OpenNoTruncate.
    for (unsigned flags : {0x0000u, 0x2000u, 0x2020u, 0x0002u}) {
        CFile f;
        CFileException error;
        EXPECT_FALSE(f.Open(path, flags, &error)) << flags;
        EXPECT_EQ(error.cause, CFileException::CauseFileNotFound);
        EXPECT_EQ(error.fileName, path);
        EXPECT_NE(error.osError, 0);
        EXPECT_FALSE(f.IsOpen());
    }

    WriteFile(path, "0123456789");
    {
        CFile f;  // create + no-truncate keeps the contents
        ASSERT_TRUE(f.Open(path, CFile::OpenCreate | CFile::OpenNoTruncate | CFile::OpenReadWrite));
        EXPECT_EQ(f.GetLength(), 10u);
        char buffer[4];
        EXPECT_EQ(f.Read(buffer, 4), 4u);
        EXPECT_EQ(std::string(buffer, 4), "0123");
    }
    {
        CFile f;  // create empties
        ASSERT_TRUE(f.Open(path, CFile::OpenCreate | CFile::OpenWrite));
        EXPECT_EQ(f.GetLength(), 0u);
        f.Write("abc", 3);
    }
    EXPECT_EQ(ReadFile(path), "abc");

    // A read-only file object refuses writes, a write-only one reads.
    CFile ro;
    ASSERT_TRUE(ro.Open(path, CFile::OpenRead));
    CFileException e = CatchFile([&] { ro.Write("x", 1); });
    EXPECT_EQ(e.fileName, ro.GetFilePath());
    ro.Close();
    EXPECT_EQ(ReadFile(path), "abc");

    // A folder is not a file.
    CFile folder;
    EXPECT_FALSE(folder.Open(dir.Path(), CFile::OpenRead));
}

TEST(File, ReadWriteSeekAndLength) {
    ScratchDir dir;
    const std::string path = dir / "data.bin";
    CFile f;
    ASSERT_TRUE(f.Open(path, CFile::OpenCreate | CFile::OpenReadWrite));
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    f.Write(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_EQ(f.GetPosition(), 200000u);
    EXPECT_EQ(f.GetLength(), 200000u);

    EXPECT_EQ(f.Seek(-100, CFile::SeekEnd), 199900);
    EXPECT_EQ(f.Seek(-50, CFile::SeekCurrent), 199850);
    std::string tail(300, '\0');
    EXPECT_EQ(f.Read(&tail[0], 300), 150u);  // short only at the end
    EXPECT_EQ(tail.substr(0, 150), big.substr(199850));
    EXPECT_EQ(f.Read(&tail[0], 300), 0u);

    f.SeekToBegin();
    std::string all(big.size(), '\0');
    EXPECT_EQ(f.Read(&all[0], static_cast<uint32_t>(all.size())), big.size());
    EXPECT_EQ(all, big);

    // SetLength cuts or extends without moving the position.
    f.Seek(10, CFile::SeekBegin);
    f.SetLength(100);
    EXPECT_EQ(f.GetLength(), 100u);
    EXPECT_EQ(f.GetPosition(), 10u);
    f.SetLength(150);
    f.SeekToEnd();
    EXPECT_EQ(f.GetPosition(), 150u);

    // A position before the beginning is refused and the position kept.
    CFileException e = CatchFile([&] { f.Seek(-1000, CFile::SeekCurrent); });
    EXPECT_EQ(e.cause, CFileException::CauseBadSeek);
    EXPECT_EQ(e.fileName, f.GetFilePath());
    EXPECT_EQ(f.GetPosition(), 150u);
    EXPECT_EQ(CatchFile([&] { f.Seek(-151, CFile::SeekEnd); }).cause, CFileException::CauseBadSeek);

    // Positions beyond 4 GiB are reachable, also in the 32-bit program
    // (beyond the end, nothing is read there).
    const uint64_t beyond4GiB = (uint64_t{1} << 32) + 16;
    EXPECT_EQ(f.Seek(static_cast<int64_t>(beyond4GiB), CFile::SeekBegin), beyond4GiB);
    EXPECT_EQ(f.Seek(-8, CFile::SeekCurrent), beyond4GiB - 8);
    EXPECT_EQ(f.GetPosition(), beyond4GiB - 8);
    char c;
    EXPECT_EQ(f.Read(&c, 1), 0u);
    f.Flush();
    f.Close();
}

TEST(File, CloseAndClosedFiles) {
    ScratchDir dir;
    const std::string path = dir / "c.txt";
    WriteFile(path, "x");
    CFile f;
    f.Close();  // closing a closed file does nothing
    EXPECT_EQ(f.GetFilePath(), "");
    ASSERT_TRUE(f.Open(path, CFile::OpenRead | CFile::ShareDenyWrite));
    EXPECT_EQ(f.GetFilePath(), path);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.GetFilePath(), "");
    f.Close();
    f.Flush();  // nothing to flush
    char c;
    EXPECT_EQ(CatchFile([&] { f.Read(&c, 1); }).cause, CFileException::CauseInvalidFile);
    EXPECT_EQ(CatchFile([&] { f.GetLength(); }).cause, CFileException::CauseInvalidFile);
    EXPECT_EQ(CatchFile([&] { f.Seek(0, 0); }).cause, CFileException::CauseInvalidFile);
}

TEST(File, RecordsTheFullPathOfARelativeName) {
    ScratchDir dir;
    WriteFile(dir / "rel.txt", "r");
    CFile f;
    // A relative name is recorded against the current folder at opening.
#ifdef _WIN32
    char here[1024];
    GetCurrentDirectoryA(sizeof here, here);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
#else
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
#endif
    const bool opened = f.Open("rel.txt", CFile::OpenRead);
    const std::string recorded = f.GetFilePath();
#ifdef _WIN32
    SetCurrentDirectoryA(here);
#else
    ASSERT_EQ(chdir(here), 0);
#endif
    ASSERT_TRUE(opened);
    EXPECT_EQ(recorded, dir / "rel.txt");
}

TEST(File, SharingFollowsDenyWrite) {
    ScratchDir dir;
    const std::string path = dir / "shared.bin";
    WriteFile(path, "contents");
    const unsigned readDeny = CFile::OpenRead | CFile::ShareDenyWrite;                // 0x0020
    const unsigned writeDeny = CFile::OpenWrite | CFile::ShareDenyWrite;              // 0x0021
    const unsigned createWriteDeny = CFile::OpenCreate | writeDeny;                   // 0x1021
    const unsigned updateDeny = CFile::OpenNoTruncate | CFile::OpenReadWrite | CFile::ShareDenyWrite;

    CFile reader1, reader2, other;
    ASSERT_TRUE(reader1.Open(path, CFile::OpenNoTruncate | readDeny));
    // Readers that deny writing share the file.
    EXPECT_TRUE(reader2.Open(path, readDeny));
    reader2.Close();
    // Writers are refused while it is open so, and an emptying create does
    // not touch the contents when refused.
    CFileException error;
    EXPECT_FALSE(other.Open(path, writeDeny, &error));
    EXPECT_EQ(error.cause, CFileException::CauseSharingViolation);
    EXPECT_EQ(error.fileName, path);
    EXPECT_FALSE(other.Open(path, createWriteDeny, &error));
    EXPECT_EQ(error.cause, CFileException::CauseSharingViolation);
    EXPECT_FALSE(other.Open(path, updateDeny));
    // An exclusive open (no sharing flag) is refused too.
    EXPECT_FALSE(other.Open(path, CFile::OpenRead));
    reader1.Close();
    EXPECT_EQ(ReadFile(path), "contents");

    // A writer that denies writing keeps out readers that deny writing (they
    // cannot grant the write access it holds) and other writers.
    CFile writer;
    ASSERT_TRUE(writer.Open(path, createWriteDeny));
    EXPECT_FALSE(other.Open(path, readDeny, &error));
    EXPECT_EQ(error.cause, CFileException::CauseSharingViolation);
    EXPECT_FALSE(other.Open(path, writeDeny));
    writer.Write("new", 3);
    writer.Close();
    // Once closed, everything opens again.
    EXPECT_TRUE(other.Open(path, updateDeny));
    other.Close();
    EXPECT_EQ(ReadFile(path), "new");
}
