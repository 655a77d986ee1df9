// CZipFile over the framework file, the memory-backed file and CZipBuffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"
#include "zip/zip_buffer.h"
#include "zip/zip_file.h"
#include "zip/zip_mem_file.h"

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

template <class Op>
int FileCause(Op op) {
    try {
        op();
    } catch (CFileException* e) {
        int cause = e->cause;
        e->Delete();
        return cause;
    }
    return -1;
}

}  // namespace

TEST(ZipFile, OpenReportsOrThrows) {
    ScratchDir dir;
    const std::string missing = dir / "missing.zip";
    CZipFile f;
    f.Close();  // not open: nothing happens
    f.Flush();
    EXPECT_TRUE(f.IsClosed());
    EXPECT_FALSE(f.Open(missing, 0x2020, false));
    EXPECT_TRUE(f.IsClosed());
    try {
        f.Open(missing, 0x2020, true);
        ADD_FAILURE() << "no exception";
    } catch (CFileException* e) {
        EXPECT_EQ(e->cause, CFileException::CauseFileNotFound);
        EXPECT_EQ(e->fileName, missing);
        EXPECT_NE(e->osError, 0);
        e->Delete();
    }
    // The output-file flags create a file.
    ASSERT_TRUE(f.Open(dir / "out.bin", 0x1021, true));
    EXPECT_FALSE(f.IsClosed());
    f.Write("abc", 3);
    f.Flush();
    f.Close();
    EXPECT_EQ(f.GetFilePath(), "");
    EXPECT_EQ(ReadFile(dir / "out.bin"), "abc");
}

TEST(ZipFile, SameThroughEitherBase) {
    ScratchDir dir;
    const std::string path = dir / "a.bin";
    WriteFile(path, "0123456789");
    CZipFile f;
    ASSERT_TRUE(f.Open(path, 0x2022, true));
    CZipFileBase& base = f;
    CFile& file = f;
    EXPECT_TRUE(f.IsKindOf(RUNTIME_CLASS(CFile)));
    EXPECT_STREQ(file.GetRuntimeClass()->className, "CZipFile");
    EXPECT_EQ(base.GetLength(), 10u);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(base.GetFilePath(), file.GetFilePath());
    base.Seek(4, 0);
    EXPECT_EQ(file.GetPosition(), 4u);
    char b[3];
    EXPECT_EQ(file.Read(b, 3), 3u);
    EXPECT_EQ(std::string(b, 3), "456");
    EXPECT_EQ(base.GetPosition(), 7u);
    base.SeekToEnd();
    EXPECT_EQ(f.GetPosition(), 10u);
    base.SeekToBegin();
    EXPECT_EQ(base.Read(b, 3), 3u);
    EXPECT_EQ(std::string(b, 3), "012");
    file.Close();  // through the framework class: the file is closed and forgets its path
    EXPECT_TRUE(base.IsClosed());
    EXPECT_EQ(base.GetFilePath(), "");
    base.Close();
    EXPECT_EQ(FileCause([&] { base.Read(b, 1); }), CFileException::CauseInvalidFile);
}

TEST(ZipMemFile, BehavesLikeAFile) {
    CZipMemFile m("memory.zip");
    EXPECT_FALSE(m.IsClosed());
    m.Write("hello world", 11);
    EXPECT_EQ(m.GetLength(), 11u);
    EXPECT_EQ(m.GetPosition(), 11u);
    m.Seek(-5, 2);
    char b[16];
    EXPECT_EQ(m.Read(b, 16), 5u);
    EXPECT_EQ(std::string(b, 5), "world");
    EXPECT_EQ(m.Read(b, 16), 0u);
    // Writing past the end extends with zero bytes.
    m.Seek(13, 0);
    m.Write("!", 1);
    EXPECT_EQ(std::string(m.Data().data(), m.Data().size()), std::string("hello world\0\0!", 14));
    EXPECT_EQ(FileCause([&] { m.Seek(-100, 1); }), CFileException::CauseBadSeek);
    EXPECT_EQ(m.GetPosition(), 14u);
    m.SetLength(5);
    EXPECT_EQ(m.GetLength(), 5u);
    EXPECT_EQ(m.GetFilePath(), "memory.zip");
    m.Close();
    EXPECT_TRUE(m.IsClosed());
    EXPECT_EQ(m.GetFilePath(), "");
    EXPECT_EQ(FileCause([&] { m.Read(b, 1); }), CFileException::CauseInvalidFile);
    // Reopening keeps the contents unless created afresh.
    m.Open("again", CZipFileBase::OpenRead, true);
    EXPECT_EQ(m.GetLength(), 5u);
    EXPECT_EQ(m.GetPosition(), 0u);
    m.Open("again", CZipFileBase::OpenCreate | CZipFileBase::OpenReadWrite, true);
    EXPECT_EQ(m.GetLength(), 0u);

    const char bytes[] = {1, 2, 3};
    CZipMemFile copy(bytes, 3);
    EXPECT_EQ(copy.Read(b, 10), 3u);
    EXPECT_EQ(b[2], 3);
}

TEST(ZipBuffer, AllocationKeepsOrReplacesTheBlock) {
    CZipBuffer b;
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.size, 0u);
    char* p = b.Allocate(16, true);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(b.size, 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0);
    std::memset(p, 'x', 16);
    // Same size: the same block, cleared only when asked.
    EXPECT_EQ(b.Allocate(16, false), p);
    EXPECT_EQ(p[3], 'x');
    EXPECT_EQ(b.Allocate(16, true), p);
    EXPECT_EQ(p[3], 0);
    b.Allocate(0, false);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.size, 0u);
    b.Allocate(4, true);
    b.Release();
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.size, 0u);
}

TEST(ZipBuffer, CopiesAreDeep) {
    CZipBuffer a(5, false);
    std::memcpy(a.data, "abcde", 5);
    CZipBuffer b(a);
    EXPECT_NE(b.data, a.data);
    EXPECT_EQ(std::string(b.data, b.size), "abcde");
    b.data[0] = 'X';
    EXPECT_EQ(a.data[0], 'a');
    CZipBuffer c;
    c = a;
    EXPECT_EQ(std::string(c.data, c.size), "abcde");
    CZipBuffer& same = c;
    c = same;  // assignment to itself changes nothing
    EXPECT_EQ(std::string(c.data, c.size), "abcde");
    c = CZipBuffer();  // an empty source gives an empty copy
    EXPECT_EQ(c.data, nullptr);
    EXPECT_EQ(c.size, 0u);
    // Taking a part of its own block.
    a.Assign(a.data + 1, 3);
    EXPECT_EQ(std::string(a.data, a.size), "bcd");
    CZipBuffer moved(std::move(a));
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(std::string(moved.data, moved.size), "bcd");
}
