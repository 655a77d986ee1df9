// The storage's writing side: the write buffer, new multi-volume archives
// (fixed-size volumes or removable disks) and their last volume.
#include <cstring>
#include <string>

#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_path.h"
#include "zip/zip_store.h"

namespace {

const int32_t kVolumeLimit = 999;

}  // namespace

void CZipStore::WriteToBuffer(const char* bytes, uint32_t count) {
    if (!writeBuffer.size) ThrowError(ErrInternal);  // an existing multi-volume archive
    while (count) {
        if (bytesInBuffer == writeBuffer.size) Flush();
        uint32_t n = writeBuffer.size - bytesInBuffer;
        if (n > count) n = count;
        std::memcpy(writeBuffer.data + bytesInBuffer, bytes, n);
        bytesInBuffer += n;
        bytes += n;
        count -= n;
    }
}

uint32_t CZipStore::SpaceOnVolume() const {
    long long used = bytesInBuffer;
    if (spanMode != RemovableSpan) used += bytesWritten;
    const long long left = static_cast<long long>(currentVolumeSize) - used;
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

void CZipStore::Write(const void* buffer, uint32_t count, bool atOnce) {
    if (!file) ThrowError(ErrInternal);
    const char* in = static_cast<const char*>(buffer);
    if (spanMode == NoSpan) {
        WriteToBuffer(in, count);
        return;
    }
    const uint32_t chunk = atOnce ? count : 1;
    while (count) {
        uint32_t space = SpaceOnVolume();
        while (space < chunk) {
            if (spanMode == FixedSpan && bytesWritten == 0 && bytesInBuffer == 0)
                currentVolumeSize = chunk;  // one oversized record makes one larger volume
            else
                NextDisk(chunk);
            space = SpaceOnVolume();
        }
        const uint32_t n = space < count ? space : count;
        WriteToBuffer(in, n);
        in += n;
        count -= n;
    }
}

void CZipStore::Flush() {
    if (spanMode != NoSpan) bytesWritten += static_cast<int32_t>(bytesInBuffer);
    if (bytesInBuffer > 0) {
        const uint32_t n = bytesInBuffer;
        bytesInBuffer = 0;
        file->Write(writeBuffer.data, n);
    }
    if (spanMode == RemovableSpan) currentVolumeSize = VolumeFreeSpace();
}

uint32_t CZipStore::VolumeFreeSpace() const {
    const std::string path = file ? file->GetFilePath() : std::string();
    if (path.empty()) return 0;
    return ZipFs::GetDeviceFreeSpace(CZipPath(path).FolderPath());
}

void CZipStore::CallDiskCallback(int code, const std::string& volumePath) {
    if (!diskCallback) ThrowZipError(ErrNoDiskCallback, volumePath);
    diskCallback->fileName = volumePath;
    diskCallback->diskNeeded = static_cast<uint32_t>(currentDisk + 1);
    if (!diskCallback->OnDiskNeeded(code)) ThrowZipError(ErrDiskChangeAborted, volumePath);
}

void CZipStore::NextDisk(uint32_t needed, const std::string& path) {
    Flush();
    if (bytesWritten > 0) {
        bytesWritten = 0;
        ++currentDisk;
        if (currentDisk >= kVolumeLimit) ThrowError(ErrVolumeLimit);
    }
    std::string target;
    if (spanMode == RemovableSpan)
        target = path.empty() ? file->GetFilePath() : path;
    else
        target = VolumeFileName(false, path);
    if (!file->IsClosed()) {
        file->Flush();
        file->Close();
    }
    if (spanMode == FixedSpan) {
        currentVolumeSize = static_cast<uint32_t>(volumeSize);
        internalFile.Open(target,
                          CZipFileBase::OpenCreate | CZipFileBase::OpenReadWrite |
                              CZipFileBase::ShareDenyWrite,
                          true);
        return;
    }
    int code = static_cast<int>(needed);
    for (;;) {
        CallDiskCallback(code, target);
        if (ZipFs::FileExists(target) != 0) {
            code = -2;
            continue;
        }
        if (!ZipFs::SetVolumeName(target, "pkback# " + ThreeDigits(currentDisk + 1))) {
            code = -3;
            continue;
        }
        if (!internalFile.Open(target,
                               CZipFileBase::OpenCreate | CZipFileBase::OpenReadWrite |
                                   CZipFileBase::ShareDenyWrite,
                               false)) {
            code = -4;
            continue;
        }
        break;
    }
    currentVolumeSize = VolumeFreeSpace();
}

std::string CZipStore::RenameLastVolume() {
    const std::string newName = VolumeFileName(true);
    Flush();
    file->Flush();
    const std::string oldName = file->GetFilePath();
    file->Close();
    if (newName != oldName) {
        if (ZipFs::FileExists(newName) != 0) ZipFs::RemoveFile(newName, true);
        ZipFs::RenameFile(oldName, newName, true);
    }
    return newName;
}

void CZipStore::FinalizeSpan() {
    std::string path;
    if (spanMode == FixedSpan && newSpan) {
        path = RenameLastVolume();
    } else {
        Flush();
        path = file->GetFilePath();
        file->Flush();
        file->Close();
    }
    newSpan = false;
    const bool multi = currentDisk != 0;
    if (multi) volumeSize = currentDisk;
    else spanMode = NoSpan;
    file = &internalFile;
    internalFile.Open(path,
                      CZipFileBase::OpenNoTruncate | CZipFileBase::ShareDenyWrite |
                          (multi ? CZipFileBase::OpenRead : CZipFileBase::OpenReadWrite),
                      true);
}
