// The storage layer: exact reads, buffered writes, and fixed-size volume
// sets built here by the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_mem_file.h"
#include "zip/zip_path.h"
#include "zip/zip_store.h"

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

const bool kWindows = CZipPath::NativeStyle() == CZipPath::Style::Windows;

std::string Pattern(size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed) % 251);
    return s;
}

// Runs `op`; returns the archive code it throws (0 for none), and the name.
int ZipCode(const std::function<void()>& op, std::string* name = nullptr) {
    try {
        op();
    } catch (CZipException* e) {
        const int code = e->errorCode;
        if (name) *name = e->fileName;
        e->Delete();
        return code;
    }
    return 0;
}

// Runs `op`, which must throw a CFileException*; returns its file name.
std::string FileError(const std::function<void()>& op) {
    try {
        op();
    } catch (CFileException* e) {
        std::string name = e->fileName;
        e->Delete();
        return name;
    }
    ADD_FAILURE() << "no CFileException thrown";
    return std::string();
}

std::string ReadStore(CZipStore& store, uint32_t count, bool atOnce) {
    std::string out(count, '\0');
    EXPECT_EQ(store.Read(&out[0], count, atOnce), count);
    return out;
}

// A memory file that records the size of every write reaching it.
class RecordingFile : public CZipMemFile {
public:
    void Write(const void* buffer, uint32_t count) override {
        writes.push_back(count);
        CZipMemFile::Write(buffer, count);
    }
    std::vector<uint32_t> writes;
};

const std::string kSignature("PK\x07\x08", 4);

}  // namespace

TEST(ZipStore, ReadsExactlyOrRaisesDamage) {
    ScratchDir dir;
    const std::string path = dir / "a.zip";
    const std::string data = Pattern(1000);
    WriteFile(path, data);

    CZipStore store;
    EXPECT_EQ(store.currentDisk, -1);
    EXPECT_EQ(store.Read(nullptr, 0, true), 0u);  // closed, but nothing asked
    store.Open(path, CZipStore::OpenReadOnly, 0);
    EXPECT_EQ(store.file, &store.readAhead);  // read-only: through the read-ahead buffer
    EXPECT_EQ(store.spanMode, CZipStore::DetectSpan);
    EXPECT_EQ(store.currentDisk, -1);  // until the end record is known
    EXPECT_TRUE(store.readOnly);
    store.UpdateSpanMode(0);
    EXPECT_EQ(store.spanMode, CZipStore::NoSpan);
    EXPECT_EQ(store.currentDisk, 0);
    EXPECT_EQ(store.writeBuffer.size, 65536u);
    EXPECT_EQ(store.SpanState(), 0);

    EXPECT_EQ(ReadStore(store, 100, true), data.substr(0, 100));
    EXPECT_EQ(ReadStore(store, 900, false), data.substr(100));
    EXPECT_EQ(store.Read(nullptr, 0, true), 0u);  // exhausted, but nothing asked
    std::string name;
    char buffer[64];
    // At the end: 101 at once, whatever atOnce says.
    EXPECT_EQ(ZipCode([&] { store.Read(buffer, 1, false); }, &name), ErrDamagedArchive);
    EXPECT_EQ(name, path);
    // A partial read.
    store.file->Seek(990, 0);
    EXPECT_EQ(ZipCode([&] { store.Read(buffer, 20, false); }, &name), ErrDamagedArchive);
    EXPECT_EQ(name, path);

    // The current volume again: the file is not reopened.
    store.file->Seek(123, 0);
    store.ChangeDisk(0);
    EXPECT_EQ(store.file->GetPosition(), 123u);

    EXPECT_EQ(store.Close(false), path);
    EXPECT_EQ(store.currentDisk, -1);
    EXPECT_EQ(store.file, nullptr);
    EXPECT_EQ(store.writeBuffer.size, 0u);
    EXPECT_TRUE(store.internalFile.IsClosed());
    EXPECT_EQ(ReadFile(path), data);  // read-only: untouched

    // It opens again; a volume size makes the provisional mode 4.
    store.Open(path, CZipStore::OpenReadOnly, 100);
    EXPECT_EQ(store.spanMode, CZipStore::AssumeFixedSpan);
    EXPECT_EQ(store.SpanState(), -1);
    store.Close(true);
    EXPECT_EQ(FileError([&] { store.Open(dir / "none.zip", CZipStore::OpenReadOnly, 0); }),
              dir / "none.zip");
}

TEST(ZipStore, ReadsSeeTheBytesStillInTheWriteBuffer) {
    ScratchDir dir;
    const std::string path = dir / "u.zip";
    WriteFile(path, "ABCDEFGHIJ");
    CZipStore store;
    store.Open(path, CZipStore::OpenUpdate, 0);
    store.UpdateSpanMode(0);
    store.Write("xy", 2, true);
    EXPECT_EQ(store.bytesInBuffer, 2u);
    // The buffered bytes go to the file before the read, which continues
    // behind them.
    EXPECT_EQ(ReadStore(store, 3, true), "CDE");
    EXPECT_EQ(store.bytesInBuffer, 0u);
    // A write larger than the buffer, partly flushed, partly buffered.
    const std::string big = Pattern(70000, 3);
    store.file->Seek(0, 2);
    store.Write(big.data(), static_cast<uint32_t>(big.size()), false);
    EXPECT_EQ(store.bytesInBuffer, 70000u - 65536u);
    store.Flush();
    store.file->Seek(5, 0);
    EXPECT_EQ(ReadStore(store, 5, true), "FGHIJ");
    EXPECT_EQ(ReadStore(store, 70000, true), big);
    EXPECT_EQ(store.Close(false), path);
    EXPECT_EQ(ReadFile(path), "xyCDEFGHIJ" + big);
}

TEST(ZipStore, WritesGoOutInWholeBuffersAndAreDroppedAfterAnException) {
    RecordingFile recorder;
    CZipStore store;
    store.Open(recorder, CZipStore::OpenNew);
    EXPECT_EQ(store.currentDisk, 0);
    const std::string data = Pattern(200000);
    for (size_t at = 0; at < data.size(); at += 1000) store.Write(data.data() + at, 1000, false);
    EXPECT_EQ(recorder.writes, (std::vector<uint32_t>{65536, 65536, 65536}));
    store.Close(false);
    EXPECT_EQ(recorder.writes.back(), 200000u - 3 * 65536u);
    EXPECT_FALSE(recorder.IsClosed());  // the caller's file is only detached
    EXPECT_EQ(std::string(recorder.Data().data(), recorder.Data().size()), data);

    ScratchDir dir;
    const std::string path = dir / "n.zip";
    store.Open(path, CZipStore::OpenNew, 0);
    store.Write("0123456789", 10, true);
    EXPECT_EQ(store.Close(true), path);
    EXPECT_EQ(ReadFile(path), "");  // buffered bytes dropped
    store.Open(path, CZipStore::OpenNew, 0);
    store.Write("0123456789", 10, true);
    EXPECT_EQ(store.Close(false), path);
    EXPECT_EQ(ReadFile(path), "0123456789");
}

TEST(ZipStore, MemoryArchiveHasOneVolume) {
    const std::string data = Pattern(300);
    CZipMemFile memory(data.data(), 300, "mem.zip");
    CZipStore store;
    store.Open(memory, CZipStore::OpenReadOnly);
    store.UpdateSpanMode(0);
    EXPECT_EQ(ReadStore(store, 300, true), data);
    std::string name;
    EXPECT_EQ(ZipCode([&] { store.ChangeDisk(1); }, &name), ErrDamagedArchive);
    EXPECT_EQ(name, "mem.zip");
    EXPECT_EQ(store.currentDisk, 0);
    // An end record naming another disk: there is no volume to go to.
    store.UpdateSpanMode(3);
    EXPECT_EQ(store.spanMode, CZipStore::FixedSpan);
    EXPECT_EQ(ZipCode([&] { store.ChangeDisk(0); }), ErrDamagedArchive);
    store.Close(false);
    EXPECT_FALSE(memory.IsClosed());
}

TEST(ZipStore, VolumeChangeInAnOrdinaryArchiveLooksForAVolumeFile) {
    ScratchDir dir;
    const std::string path = dir / "o.zip";
    WriteFile(path, Pattern(50));
    CZipStore store;
    store.Open(path, CZipStore::OpenReadOnly, 0);
    store.UpdateSpanMode(0);
    EXPECT_EQ(FileError([&] { store.ChangeDisk(1); }), dir / "o.001");
    EXPECT_TRUE(store.file->IsClosed());  // the archive file stays closed
    std::string name = "x";
    EXPECT_EQ(ZipCode([&] { store.ThrowError(ErrGeneric); }, &name), ErrGeneric);
    EXPECT_EQ(name, "");  // no file open: no name
    // Without an open file no volume name can be derived.
    EXPECT_EQ(ZipCode([&] { store.ChangeDisk(2); }), ErrDamagedArchive);
    store.Close(true);

    // Where such a file exists, it is read.
    WriteFile(dir / "o.001", "volume one");
    store.Open(path, CZipStore::OpenReadOnly, 0);
    store.UpdateSpanMode(0);
    store.ChangeDisk(1);
    EXPECT_EQ(store.file->GetFilePath(), dir / "o.001");
    EXPECT_EQ(ReadStore(store, 10, true), "volume one");
    store.Close(false);
}

TEST(ZipStore, ReadsAcrossFixedSizeVolumes) {
    ScratchDir dir;
    const std::string data = Pattern(250, 7);
    WriteFile(dir / "a.000", data.substr(0, 100));
    WriteFile(dir / "a.001", data.substr(100, 100));
    WriteFile(dir / "a.zip", data.substr(200));
    CZipStore store;
    store.Open(dir / "a.zip", CZipStore::OpenReadOnly, 0);
    store.UpdateSpanMode(2);  // the end record lies on disk 2
    EXPECT_EQ(store.spanMode, CZipStore::FixedSpan);
    EXPECT_EQ(store.volumeSize, 2);
    EXPECT_EQ(store.currentDisk, 2);
    EXPECT_EQ(store.lastVolumeExtension, "zip");
    EXPECT_EQ(store.writeBuffer.size, 0u);  // never written
    EXPECT_EQ(store.SpanState(), -1);
    EXPECT_EQ(store.VolumeFileName(false), dir / "a.002");
    EXPECT_EQ(store.VolumeFileName(true), dir / "a.zip");

    store.ChangeDisk(0);
    EXPECT_EQ(store.file->GetFilePath(), dir / "a.000");
    // 40 bytes left in volume 0: they and 60 from volume 1.
    store.file->Seek(60, 0);
    EXPECT_EQ(ReadStore(store, 100, false), data.substr(60, 100));
    EXPECT_EQ(store.currentDisk, 1);
    EXPECT_EQ(store.file->GetFilePath(), dir / "a.001");
    // Up to the end of volume 1, then a read that starts at its end comes
    // wholly from the last volume, even at once.
    EXPECT_EQ(ReadStore(store, 40, true), data.substr(160, 40));
    EXPECT_EQ(ReadStore(store, 10, true), data.substr(200, 10));
    EXPECT_EQ(store.currentDisk, 2);
    EXPECT_EQ(store.file->GetFilePath(), dir / "a.zip");

    // A record may not be split.
    store.ChangeDisk(0);
    store.file->Seek(60, 0);
    std::string name;
    char buffer[200];
    EXPECT_EQ(ZipCode([&] { store.Read(buffer, 100, true); }, &name), ErrDamagedArchive);
    EXPECT_EQ(name, dir / "a.000");
    // Nothing lies behind the last volume.
    store.ChangeDisk(2);
    store.file->Seek(40, 0);
    EXPECT_EQ(ZipCode([&] { store.Read(buffer, 20, false); }, &name), ErrDamagedArchive);
    EXPECT_EQ(name, dir / "a.zip");
    EXPECT_EQ(ZipCode([&] { store.Read(buffer, 1, false); }), ErrDamagedArchive);
    EXPECT_EQ(store.Close(false), dir / "a.zip");
    // The extension of the last volume is kept for the next archive.
    EXPECT_EQ(store.lastVolumeExtension, "zip");

    // Opened with a volume size, the mode settles the same way; a missing
    // volume is the file exception of that volume.
    WriteFile(dir / "b.zip", "end");
    store.Open(dir / "b.zip", CZipStore::OpenReadOnly, 100);
    store.UpdateSpanMode(1);
    EXPECT_EQ(store.spanMode, CZipStore::FixedSpan);
    EXPECT_EQ(FileError([&] { store.ChangeDisk(0); }), dir / "b.000");
    store.Close(true);
}

TEST(ZipStore, WritesFixedSizeVolumesAndReadsThemBack) {
    ScratchDir dir;
    const std::string path = dir / "v.zip";
    CZipStore store;
    store.Open(path, CZipStore::OpenNewVolumes, 100);
    EXPECT_EQ(store.SpanState(), 1);
    EXPECT_EQ(store.spanMode, CZipStore::FixedSpan);
    EXPECT_EQ(store.file->GetFilePath(), dir / "v.000");
    const std::string data = Pattern(1000, 11);
    for (size_t at = 0; at < data.size(); at += 37) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(37, data.size() - at));
        store.Write(data.data() + at, n, false);
    }
    const std::string record = Pattern(150, 5);  // larger than a volume, written at once
    store.Write(record.data(), 150, true);
    const int last = store.currentDisk;
    store.FinalizeSpan();
    EXPECT_EQ(store.SpanState(), -1);
    EXPECT_EQ(store.spanMode, CZipStore::FixedSpan);
    EXPECT_EQ(store.volumeSize, last);
    EXPECT_EQ(store.file->GetFilePath(), path);  // the last volume has the archive's name

    // 4 + 1000 bytes fill volumes 0..10 (the last one 4 bytes); the record
    // makes the next, oversized volume, the last.
    ASSERT_EQ(last, 11);
    std::string joined;
    for (int n = 0; n < last; ++n) {
        char ext[16];
        std::snprintf(ext, sizeof ext, "v.%03d", n);
        const std::string volume = ReadFile(dir / ext);
        EXPECT_EQ(volume.size(), n < 10 ? 100u : 4u) << ext;
        joined += volume;
    }
    EXPECT_EQ(ReadFile(path), record);
    EXPECT_EQ(joined + record, kSignature + data + record);

    // Read back through the volume logic.
    store.ChangeDisk(0);
    store.file->Seek(4, 0);
    EXPECT_EQ(ReadStore(store, 1000, false), data);
    EXPECT_EQ(ReadStore(store, 150, true), record);
    EXPECT_EQ(store.currentDisk, 11);
    store.Close(false);
}

TEST(ZipStore, RecordsStayWholeOnFixedSizeVolumes) {
    ScratchDir dir;
    CZipStore store;
    // 10 bytes at once on an empty volume of 4: that volume grows to 10.
    store.Open(dir / "s.zip", CZipStore::OpenNewVolumes, 4);
    store.Write("0123456789", 10, true);
    EXPECT_EQ(store.currentDisk, 1);
    EXPECT_EQ(store.Close(false), dir / "s.zip");
    EXPECT_EQ(ReadFile(dir / "s.000"), kSignature);
    EXPECT_EQ(ReadFile(dir / "s.zip"), "0123456789");

    // A record that does not fit the rest of a volume starts the next one.
    store.Open(dir / "t.zip", CZipStore::OpenNewVolumes, 100);
    const std::string head = Pattern(90), record = Pattern(20, 1);
    store.Write(head.data(), 90, false);
    store.Write(record.data(), 20, true);
    EXPECT_EQ(store.Close(false), dir / "t.zip");
    EXPECT_EQ(ReadFile(dir / "t.000"), kSignature + head);
    EXPECT_EQ(ReadFile(dir / "t.zip"), record);

    // A name that is taken by another file is replaced by the last volume.
    WriteFile(dir / "u.zip", "old");
    store.Open(dir / "u.zip", CZipStore::OpenNewVolumes, 100);
    store.Write("new", 3, true);
    EXPECT_EQ(store.Close(false), dir / "u.zip");
    EXPECT_EQ(ReadFile(dir / "u.zip"), kSignature + "new");
    EXPECT_EQ(ZipFs::FileExists(dir / "u.000"), 0);
}

TEST(ZipStore, AtMost999Volumes) {
    // Every volume is flushed to the device when it is finished; a memory
    // file system keeps the thousand flushes quick where there is one.
    const std::string shm = kWindows ? "Z:\\dev\\shm" : "/dev/shm";
    const std::string fast = testsupport::Join(shm, "kvsfx-volumes-" + std::to_string(std::time(nullptr) ^ reinterpret_cast<std::uintptr_t>(&shm)));
    ScratchDir fallback;
    const bool onShm = ZipFs::FolderExists(shm) && ZipFs::CreateFolder(fast);
    struct Cleanup {
        std::string path;
        ~Cleanup() {
            if (!path.empty()) testsupport::RemoveTree(path);
        }
    } cleanup{onShm ? fast : std::string()};
    const std::string folder = onShm ? fast : fallback.Path();
    auto at = [&](const std::string& name) { return testsupport::Join(folder, name); };
    CZipStore store;
    store.Open(at("m.zip"), CZipStore::OpenNewVolumes, 1);
    const std::string bytes(998, 'b');
    store.Write(bytes.data(), 998, false);  // volumes 1..998, one byte each
    EXPECT_EQ(store.currentDisk, 998);
    EXPECT_EQ(ZipCode([&] { store.Write("!", 1, false); }), ErrVolumeLimit);
    store.Close(true);
    EXPECT_EQ(ReadFile(at("m.998")), "b");
    EXPECT_EQ(ZipFs::FileExists(at("m.999")), 0);
}

namespace {

class RecordingCallback : public CZipDiskCallback {
public:
    std::function<bool(int)> answer;
    std::vector<int> codes;
    std::vector<std::string> files;
    std::vector<uint32_t> disks;
    bool OnDiskNeeded(int code) override {
        codes.push_back(code);
        files.push_back(fileName);
        disks.push_back(diskNeeded);
        return answer(code);
    }
};

}  // namespace

TEST(ZipStore, RemovableDiskArchivesNeedACallbackAndARemovableDrive) {
    ScratchDir dir;
    CZipStore store;
    std::string name;
    EXPECT_EQ(ZipCode([&] { store.Open(dir / "r.zip", CZipStore::OpenNewVolumes, 0); }, &name),
              ErrNoDiskCallback);
    RecordingCallback callback;
    callback.answer = [](int) { return true; };
    store.diskCallback = &callback;
    EXPECT_EQ(ZipCode([&] { store.Open(dir / "r.zip", CZipStore::OpenNewVolumes, 0); }, &name),
              ErrNotRemovable);
    EXPECT_EQ(name, dir / "r.zip");
    EXPECT_TRUE(callback.codes.empty());
    EXPECT_EQ(ZipFs::FileExists(dir / "r.zip"), 0);
    store.Close(true);
}

TEST(ZipStore, DiskRequestsOfRemovableVolumes) {
    if (kWindows) GTEST_SKIP() << "would label a drive of the Wine prefix";
    // Removable drives do not exist here; the mode is set by hand to drive
    // the disk requests.
    ScratchDir dir;
    const std::string path = dir / "r.zip";
    WriteFile(path, "volume");
    RecordingCallback callback;
    CZipStore store;
    store.diskCallback = &callback;
    store.Open(path, CZipStore::OpenReadOnly, 0);
    store.UpdateSpanMode(0);
    store.spanMode = CZipStore::RemovableSpan;
    callback.answer = [](int) { return true; };
    store.ChangeDisk(1);  // every volume has the archive's own name
    EXPECT_EQ(callback.codes, std::vector<int>{-1});
    EXPECT_EQ(callback.files[0], path);
    EXPECT_EQ(callback.disks[0], 2u);
    EXPECT_EQ(ReadStore(store, 6, true), "volume");
    callback.answer = [](int) { return false; };
    std::string name;
    EXPECT_EQ(ZipCode([&] { store.ChangeDisk(2); }, &name), ErrDiskChangeAborted);
    EXPECT_EQ(name, path);
    store.Close(true);

    // Writing: a disk that already holds the file, then a label that
    // cannot be set; the user gives up.
    store.Open(path, CZipStore::OpenNew, 0);
    store.spanMode = CZipStore::RemovableSpan;
    store.newSpan = true;
    callback.codes.clear();
    callback.answer = [&](int code) {
        if (code == -2) ZipFs::RemoveFile(path, false);  // the user clears the disk
        return callback.codes.size() < 4;
    };
    EXPECT_EQ(ZipCode([&] { store.NextDisk(10); }, &name), ErrDiskChangeAborted);
    EXPECT_EQ(callback.codes, (std::vector<int>{10, -2, -3, -3}));
    EXPECT_EQ(name, path);
    store.Close(true);
}

// The read-ahead view hands out exactly what direct reads of the file give,
// for any mix of small and large reads and seeks inside and outside its
// buffer.
TEST(ZipReadAhead, MatchesDirectReads) {
    ScratchDir dir;
    const std::string path = dir / "data.bin";
    const std::string data = Pattern(300000, 5);
    WriteFile(path, data);
    CZipMemFile reference(data.data(), static_cast<uint32_t>(data.size()), path);
    CZipFile file;
    ASSERT_TRUE(file.Open(path, CZipFileBase::OpenRead, true));
    CZipReadAhead view(file);
    view.Reset();
    uint32_t seed = 12345;
    auto next = [&](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    std::vector<char> a(200000), b(200000);
    for (int step = 0; step < 400; ++step) {
        switch (next(4)) {
        case 0: {
            const int32_t to = static_cast<int32_t>(next(310000));
            EXPECT_EQ(view.Seek(to, 0), reference.Seek(to, 0));
            break;
        }
        case 1: {
            const int32_t by = static_cast<int32_t>(next(20000)) - 10000;
            if (static_cast<long long>(reference.GetPosition()) + by < 0) break;
            EXPECT_EQ(view.Seek(by, 1), reference.Seek(by, 1));
            break;
        }
        default: {
            const uint32_t count = next(4) == 0 ? next(150000) : next(200);
            const uint32_t got = view.Read(a.data(), count);
            ASSERT_EQ(got, reference.Read(b.data(), count));
            ASSERT_EQ(std::string(a.data(), got), std::string(b.data(), got));
        }
        }
        ASSERT_EQ(view.GetPosition(), reference.GetPosition()) << "step " << step;
    }
}
