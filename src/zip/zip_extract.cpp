// Extraction of one entry to a file or folder on disk.

#include <cstring>
#include <memory>

#include "zip/zip_exception.h"
#include "zip/zip_file.h"
#include "zip/zip_fs.h"
#include "zip/zip_host.h"
#include "zip/zip_path.h"
#include "zip/zip_reader.h"
#include "zip/zip_target_name.h"

namespace {

// Closes the reader's open entry when extraction ends by an error (the output
// file, a write, the data or the CRC check failed), so that the archive object
// is ready for the next entry; a normal end has closed it already.
class OpenEntryCloser {
 public:
  explicit OpenEntryCloser(CZipReader& reader) : reader(reader) {}
  ~OpenEntryCloser() {
    if (reader.EntryState() == CZipReader::EntryReading) reader.CloseEntry(nullptr, true);
  }
  OpenEntryCloser(const OpenEntryCloser&) = delete;
  OpenEntryCloser& operator=(const OpenEntryCloser&) = delete;

 private:
  CZipReader& reader;
};

}  // namespace

std::string CZipReader::BuildTargetPath(const std::string& entryName, const char* targetFolder,
                                        bool fullPath, const char* newName) {
  std::string folder = targetFolder ? targetFolder : "";
  std::string name = newName ? newName : entryName;
  if (name.empty()) return folder;
  if (!folder.empty()) {
    TrimTrailingSeparators(folder);
    folder += ZipHost::Separator;
  }
  return folder + AppendedPart(name, fullPath);
}

CZipReader::ExtractStart CZipReader::StartExtract(int index, const CZipEntryHeader& record,
                                                 const char* targetFolder, bool fullPath, const char* newName,
                                                 bool forJob, CZipFile& file, std::string& target) {
  // A name that cannot be decoded is refused before anything is created:
  // never a file under a name the archive does not hold.
  if (!record.HasUsableName()) ThrowZipError(ErrBadEntryName, record.GetDisplayName());
  const std::string entryName = record.GetName();
  target = BuildTargetPath(entryName, targetFolder, fullPath, newName);

  // An entry may never place anything outside the target folder, nor change
  // the target folder itself.
  const std::string used = newName ? std::string(newName) : entryName;
  const TargetPlacement placement = CheckTargetName(used, fullPath, record.IsFolder(), entryName);

  CZipProgress* sink = SinkFor(ProgressExtract);
  if (sink) {
    sink->kind = ProgressExtract;
    sink->Begin(entryName, target);
  }

  // The target split into the folder given and the part below it, which
  // the output tree creates relative to that folder.
  std::string root = targetFolder ? targetFolder : "";
  TrimTrailingSeparators(root);
  if (root.empty() && targetFolder && *targetFolder) root = ZipHost::Separator;  // the root folder
  const std::string relative = used.empty() ? std::string() : AppendedPart(used, fullPath);

  if (record.IsFolder()) {
    if (sink) sink->SetWorkTotal(0);
    // A folder entry such as "./" names the target folder, which exists and
    // keeps its own mode.
    if (placement == TargetPlacement::Below) {
      outputTree.ForceFolder(root, relative);
      outputTree.SetFolderAttributes(root, relative, record.GetLocalAttributes());
    }
    if (sink) sink->End();
    return ExtractStart::Done;
  }

  if (sink) sink->SetWorkTotal(record.uncompressedSize);
  if (!OpenEntryFor(index, !forJob)) return ExtractStart::Missing;
  try {
    outputTree.CreateOutputFile(root, relative, target, record.GetLocalAttributes(), file);
  } catch (...) {
    CloseEntry(nullptr, true);
    throw;
  }
  return ExtractStart::Open;
}

bool CZipReader::ExtractEntry(int index, const char* targetFolder, bool fullPath,
                              const char* newName, uint32_t bufferSize) {
  if (bufferSize == 0) return false;
  CZipEntryHeader record;
  if (!GetEntryInfo(record, index)) return false;
  CZipFile file;
  std::string target;
  const ExtractStart start = StartExtract(index, record, targetFolder, fullPath, newName, false, file, target);
  if (start != ExtractStart::Open) return start == ExtractStart::Done;
  OpenEntryCloser closer(*this);
  CZipProgress* sink = SinkFor(ProgressExtract);

  std::unique_ptr<char[]> buffer(new char[bufferSize]);
  int abortCode = 0;
  uint32_t n;
  do {
    n = ReadEntry(buffer.get(), bufferSize);
    if (n > 0) {
      file.Write(buffer.get(), n);
      if (sink && !sink->Advance(static_cast<int32_t>(n))) {
        abortCode = (n == bufferSize && ReadEntry(buffer.get(), 1) > 0) ? ErrAborted
                                                                         : ErrAbortedSafely;
        break;
      }
    }
  } while (n == bufferSize);

  bool ok = CloseEntryFile(file) == 1;
  if (!ok && abortCode == ErrAbortedSafely) abortCode = ErrAborted;
  if (sink) sink->End();
  if (abortCode) ThrowZipError(abortCode, target.c_str());
  return ok;
}
