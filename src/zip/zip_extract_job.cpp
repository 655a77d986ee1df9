// Entries extracted by workers: the reading thread settles an entry as
// ExtractEntry does up to its data (name checks, folders, the output file,
// the local header, the password, the data descriptor) and hands the data to
// a job; when the job is done it ends the entry as ExtractEntry ends it, with
// the same exceptions.
#include "framework/file_exception.h"
#include "zip/zip_entry_job.h"
#include "zip/zip_exception.h"
#include "zip/zip_file.h"
#include "zip/zip_reader.h"

CZipReader::ExtractStart CZipReader::StartJob(int index, const CZipEntryHeader& record, const char* targetFolder,
                                              CZipFile& file, ZipEntryJob& job) {
  // Workers copy and inflate; every other method is decoded here.
  if (!record.IsFolder() && record.method != 0 && record.method != 8) return ExtractStart::Inline;
  const ExtractStart start = StartExtract(index, record, targetFolder, true, nullptr, true, file, job.target);
  if (start != ExtractStart::Open) return start;

  const CZipEntryHeader* entry = directory.current;
  job.name = record.GetName();
  job.output = file.GetHandle();
  job.dataOffset = store.file->GetPosition();
  job.storedBytes = readState.remainingIn;
  job.size = entry->uncompressedSize;
  job.crc = entry->crc32;
  job.deflated = entry->method == 8;
  job.encrypted = entry->IsEncrypted();
  job.keys = keys;
  job.modTime = entry->GetModTime();
  job.attributes = entry->GetLocalAttributes();
  job.written.store(0, std::memory_order_relaxed);
  job.status = ZipEntryJob::Done;
  job.descriptorError = nullptr;
  // The data descriptor lies right behind the data (which fits before the
  // next entry: checked when the entry was opened).
  try {
    if (entry->flags & 8) store.file->Seek(static_cast<int64_t>(job.dataOffset + job.storedBytes), 0);
    directory.CloseLocal(false);
  } catch (CException* error) {
    job.descriptorError = error;
  } catch (...) {
    EndReading();
    throw;
  }
  EndReading();
  return ExtractStart::Open;
}

bool CZipReader::FinishJob(ZipEntryJob& job, CZipFile& file) {
  // Taken from the job at once, so that it is deleted whatever happens.
  struct Pending {
    CException* error;
    ~Pending() {
      if (error) error->Delete();
    }
  } pending{job.descriptorError};
  job.descriptorError = nullptr;

  switch (job.status) {
    case ZipEntryJob::Done:
      break;
    case ZipEntryJob::Damaged:
      ThrowError(ErrDamagedArchive);
    case ZipEntryJob::ZlibFailed:
      ThrowError(job.zlibResult, true);
    case ZipEntryJob::ReadFailed:
      CFileException::ThrowOsError(job.osError, store.file->GetFilePath());
    case ZipEntryJob::WriteFailed:
      CFileException::ThrowOsError(job.osError, job.target);
    case ZipEntryJob::Stopped:
      ThrowZipError(ErrAborted, job.target.c_str());
  }
  // Fewer bytes than the size: no CRC to check and no descriptor read, as
  // when the reader closes an entry that ended early.
  const bool whole = job.written.load(std::memory_order_acquire) == job.size;
  if (whole && job.crcSeen != job.crc) ThrowError(ErrCrcMismatch);
  const bool finished = CZipOutputTree::FinishFile(file, job.modTime, job.attributes);
  if (whole && pending.error) {
    CException* error = pending.error;
    pending.error = nullptr;
    throw error;
  }
  return whole && finished;
}
