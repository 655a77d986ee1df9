// The storage layer: owns the archive file of an open archive and is the
// only way the reader moves bytes to and from it. Reads return exactly the
// bytes asked for or throw CZipException 101; writes are collected in a
// 64 KiB buffer; multi-volume (spanned) archives are hidden behind the
// current volume number.
//
// Positions are plain positions in the current volume's file. `file` is
// public: the directory seeks, measures and reads through it directly. A
// caller that seeks `file` directly while written bytes are still buffered
// must call Flush() first; Read() does that itself.
#pragma once

#include <cstdint>
#include <string>

#include "zip/zip_buffer.h"
#include "zip/zip_file.h"
#include "zip/zip_read_ahead.h"

// Asks the user for a disk of a removable-disk multi-volume archive. Before
// every call the storage sets `fileName` (the volume file wanted) and
// `diskNeeded` (the volume number counted from 1).
class CZipDiskCallback {
public:
    // code > 0: a new disk is needed for writing, with room for `code` bytes;
    // -1: a disk is needed for reading; -2: the disk already holds a file of
    // the volume's name; -3: the label could not be set; -4: the volume file
    // could not be created. False gives up (CZipException 104).
    virtual bool OnDiskNeeded(int code) = 0;
    virtual ~CZipDiskCallback() = default;

    std::string fileName;
    uint32_t diskNeeded = 0;
};

class CZipStore {
public:
    enum SpanMode {
        NoSpan = 0,           // ordinary single-file archive
        RemovableSpan = 1,    // one volume per removable disk
        FixedSpan = 2,        // a.000, a.001, ..., last volume a.<lastVolumeExtension>
        DetectSpan = 3,       // provisional, until UpdateSpanMode
        AssumeFixedSpan = 4,  // provisional, until UpdateSpanMode
    };
    // Open modes.
    enum { OpenUpdate = 0, OpenReadOnly = 1, OpenNew = 2, OpenNewVolumes = 3 };

    CZipStore() = default;
    virtual ~CZipStore();  // closes an open file without writing buffered bytes
    CZipStore(const CZipStore&) = delete;
    CZipStore& operator=(const CZipStore&) = delete;

    // Prepares for an archive: mode 0 existing for update, 1 existing
    // read-only, 2 new, 3 new multi-volume (`volumeSize` > 0: fixed-size
    // volumes; otherwise removable disks). Files are opened with
    // ShareDenyWrite; failures throw CFileException* (open) or
    // CZipException* (103, 107).
    void Open(const std::string& path, int mode, int32_t volumeSize);
    // Prepares for an archive held by `source` (a CZipMemFile, for example),
    // which must be open and stays owned by the caller: mode 0, 1 or 2 (2
    // empties it); such an archive has one volume only: a change to another
    // volume throws 101. Close() detaches without closing `source`.
    void Open(CZipFileBase& source, int mode);
    // Returns the path under which the archive now lies. Unless
    // `afterException`, buffered bytes are written first; after an exception
    // they are dropped and failures of the final flush and close are
    // swallowed.
    std::string Close(bool afterException);

    // Reads exactly `count` bytes (continuing on the next volumes unless
    // `atOnce`) or throws 101; 0 for `count` 0 without touching the file.
    uint32_t Read(void* buffer, uint32_t count, bool atOnce);
    // Buffers `count` bytes; in a multi-volume archive being created, starts
    // new volumes as needed (an `atOnce` record is never split).
    void Write(const void* buffer, uint32_t count, bool atOnce);
    // Hands the buffered bytes to the file.
    void Flush();
    // Makes volume `disk` current (opens its file read-only).
    void ChangeDisk(int disk);
    // Called with the end record's number of this disk: settles the span mode.
    void UpdateSpanMode(uint16_t thisDisk);
    // After the central directory of a new multi-volume archive was written:
    // renames or closes the last volume and reopens the result.
    void FinalizeSpan();
    // 0 ordinary archive; 1 a multi-volume archive being created; -1 otherwise.
    int SpanState() const;
    // Throws CZipException(code, full path of the file behind `file`), with
    // `detail` when given.
    [[noreturn]] void ThrowError(int code, const char* detail = nullptr) const;

    // Name of the current volume (`last`: the last volume's name) derived
    // from `path`, or from the current file's path when `path` is empty.
    std::string VolumeFileName(bool last, const std::string& path = std::string()) const;
    // Starts the next volume of a multi-volume archive being created, with
    // room for `needed` bytes.
    void NextDisk(uint32_t needed, const std::string& path = std::string());
    // Renames the last volume of a new fixed-size archive to its final name
    // (closing it); returns that name.
    std::string RenameLastVolume();
    // Free space of the disk holding the current file; 0 without a path.
    uint32_t VolumeFreeSpace() const;

    uint32_t writeBufferSize = 65536;
    CZipFile internalFile;
    // What `file` points to while an archive is open read-only: the same
    // file, read through one read-ahead buffer.
    CZipReadAhead readAhead{internalFile};
    CZipFileBase* file = nullptr;  // the file every operation uses; null when closed
    int spanMode = NoSpan;
    CZipDiskCallback* diskCallback = nullptr;  // not owned
    // Fixed-size volumes being written: the volume size; an existing or
    // finished multi-volume archive: the number of its last volume.
    int32_t volumeSize = 0;
    std::string lastVolumeExtension;
    uint32_t bytesInBuffer = 0;
    uint32_t currentVolumeSize = 0;
    CZipBuffer writeBuffer;
    int32_t bytesWritten = 0;
    bool newSpan = false;
    int32_t currentDisk = -1;  // -1 when no archive is open
    bool readOnly = false;

private:
    // A volume number with at least three digits ("%.3d").
    static std::string ThreeDigits(int value);
    void WriteToBuffer(const char* bytes, uint32_t count);
    uint32_t SpaceOnVolume() const;
    void CallDiskCallback(int code, const std::string& volumePath);
    void OpenVolumeForReading(const std::string& path);
    // `file` is the storage's own file (read directly or through readAhead).
    bool OwnsFile() const;
};
