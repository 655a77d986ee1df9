#include "zip/zip_store.h"

#include <string>
#include <cstring>

#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_path.h"

namespace {

const char kSpanSignature[4] = {0x50, 0x4B, 0x07, 0x08};

}  // namespace

CZipStore::~CZipStore() = default;

std::string CZipStore::ThreeDigits(int value) {
    std::string digits = std::to_string(value);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return digits;
}

void CZipStore::Open(const std::string& path, int mode, int32_t size) {
    writeBuffer.Allocate(writeBufferSize, false);
    bytesInBuffer = 0;
    newSpan = false;
    file = &internalFile;
    const unsigned share = CZipFileBase::ShareDenyWrite;
    if (mode == OpenUpdate || mode == OpenReadOnly) {
        readOnly = mode == OpenReadOnly;
        internalFile.Open(path,
                          CZipFileBase::OpenNoTruncate | share |
                              (readOnly ? CZipFileBase::OpenRead : CZipFileBase::OpenReadWrite),
                          true);
        spanMode = size != 0 ? AssumeFixedSpan : DetectSpan;
        if (readOnly) {
            readAhead.Reset();
            file = &readAhead;
        }
        return;
    }
    readOnly = false;
    currentDisk = 0;
    if (mode == OpenNew) {
        spanMode = NoSpan;
        internalFile.Open(path, CZipFileBase::OpenCreate | CZipFileBase::OpenReadWrite | share, true);
        return;
    }
    // A new multi-volume archive.
    newSpan = true;
    bytesWritten = 0;
    // The last volume takes the archive's own extension, so that the finished
    // archive lies under the name it was created with.
    lastVolumeExtension = CZipPath(path).extension;
    if (size > 0) {
        volumeSize = size;
        spanMode = FixedSpan;
    } else {
        if (!diskCallback) ThrowZipError(ErrNoDiskCallback, path);
        if (!ZipFs::IsDriveRemovable(path)) ThrowZipError(ErrNotRemovable, path);
        spanMode = RemovableSpan;
    }
    NextDisk(4, path);
    Write(kSpanSignature, 4, true);
}

void CZipStore::Open(CZipFileBase& source, int mode) {
    writeBuffer.Allocate(writeBufferSize, false);
    bytesInBuffer = 0;
    newSpan = false;
    file = &source;
    if (mode == OpenNew) {
        readOnly = false;
        currentDisk = 0;
        spanMode = NoSpan;
        source.SetLength(0);
        source.SeekToBegin();
        return;
    }
    if (mode != OpenUpdate && mode != OpenReadOnly) ThrowError(ErrInternal);
    readOnly = mode == OpenReadOnly;
    spanMode = DetectSpan;
}

std::string CZipStore::Close(bool afterException) {
    std::string result;
    bool closed = false;
    if (!afterException) {
        Flush();
        if (spanMode == FixedSpan && newSpan) {
            result = RenameLastVolume();
            closed = true;
        }
    }
    if (!closed && file) {
        result = file->GetFilePath();
        if (!file->IsClosed()) {
            try {
                if (!readOnly && (spanMode == NoSpan || newSpan)) file->Flush();
                // A caller's file (Open(CZipFileBase&)) stays open: it is only detached.
                if (OwnsFile()) file->Close();
            } catch (CException* e) {
                if (!afterException) throw;
                e->Delete();
                if (OwnsFile()) internalFile.Abort();
            }
        }
    }
    writeBuffer.Release();
    readAhead.Release();
    bytesInBuffer = 0;
    currentDisk = -1;
    spanMode = NoSpan;
    file = nullptr;
    return result;
}

uint32_t CZipStore::Read(void* buffer, uint32_t count, bool atOnce) {
    if (count == 0) return 0;
    if (!file) ThrowError(ErrInternal);
    // Written bytes still in the buffer belong before anything read now.
    if (bytesInBuffer) Flush();
    char* out = static_cast<char*>(buffer);
    uint32_t got = file->Read(out, count);
    while (got == 0) {
        if (spanMode == NoSpan) ThrowError(ErrDamagedArchive);
        // There is no volume behind the last one of an existing archive.
        if (spanMode == FixedSpan && !newSpan && currentDisk >= volumeSize)
            ThrowError(ErrDamagedArchive);
        ChangeDisk(currentDisk + 1);
        got = file->Read(out, count);
    }
    if (got == count) return count;
    if (atOnce || spanMode == NoSpan) ThrowError(ErrDamagedArchive);
    while (got < count) {
        if (spanMode == FixedSpan && !newSpan && currentDisk >= volumeSize)
            ThrowError(ErrDamagedArchive);
        ChangeDisk(currentDisk + 1);
        const uint32_t n = file->Read(out + got, count - got);
        if (n == 0) ThrowError(ErrDamagedArchive);
        got += n;
    }
    return count;
}

void CZipStore::OpenVolumeForReading(const std::string& path) {
    readAhead.Reset();
    internalFile.Open(path,
                      CZipFileBase::OpenNoTruncate | CZipFileBase::OpenRead |
                          CZipFileBase::ShareDenyWrite,
                      true);
}

bool CZipStore::OwnsFile() const { return file == &internalFile || file == &readAhead; }

void CZipStore::ChangeDisk(int disk) {
    if (disk == currentDisk) return;
    // An archive held by the caller's file object has no other volumes, and
    // a volume file cannot be derived from a file that has no path.
    if (!file || !OwnsFile() || file->GetFilePath().empty())
        ThrowError(ErrDamagedArchive);
    currentDisk = disk;
    std::string name;
    if (spanMode == RemovableSpan) {
        name = file->GetFilePath();
        file->Close();
        CallDiskCallback(-1, name);
    } else {
        name = VolumeFileName(currentDisk == volumeSize);
        file->Close();
    }
    OpenVolumeForReading(name);
}

std::string CZipStore::VolumeFileName(bool last, const std::string& path) const {
    CZipPath parts(path.empty() ? (file ? file->GetFilePath() : std::string()) : path);
    parts.SetExtension(last ? lastVolumeExtension : ThreeDigits(currentDisk));
    return parts.FullPath();
}

void CZipStore::UpdateSpanMode(uint16_t thisDisk) {
    currentDisk = thisDisk;
    if (thisDisk == 0) {
        spanMode = NoSpan;
        return;
    }
    const std::string path = file ? file->GetFilePath() : std::string();
    if (spanMode == DetectSpan)
        spanMode = ZipFs::IsDriveRemovable(path) ? RemovableSpan : FixedSpan;
    else
        spanMode = FixedSpan;
    if (spanMode == RemovableSpan && !diskCallback) ThrowError(ErrNoDiskCallback);
    if (spanMode == FixedSpan) volumeSize = thisDisk;
    lastVolumeExtension = CZipPath(path).extension;
    writeBuffer.Release();
    bytesInBuffer = 0;
}

int CZipStore::SpanState() const {
    if (spanMode == NoSpan) return 0;
    return newSpan ? 1 : -1;
}

void CZipStore::ThrowError(int code, const char* detail) const {
    const std::string path = (file && !file->IsClosed()) ? file->GetFilePath() : std::string();
    if (detail) ThrowZipError(code, path, detail);
    ThrowZipError(code, path);
}
