// Extraction of one entry to a file or folder on disk.

#include <cstring>
#include <memory>

#include "zip/zip_exception.h"
#include "zip/zip_file.h"
#include "zip/zip_fs.h"
#include "zip/zip_host.h"
#include "zip/zip_path.h"
#include "zip/zip_reader.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void TrimTrailingSeparators(std::string& s) {
  while (!s.empty() && IsSeparator(s.back())) s.pop_back();
}

// Where the part of a target path below the target folder leads.
enum class Placement { Below, TargetItself, Unsafe };

// Both separators count, whatever the platform, so that no spelling of a
// name slips through. A ".." component, or one this platform would not keep
// as written, is unsafe; a part made only of empty and "." components is the
// target folder itself.
Placement PlacementOf(const std::string& relative) {
  bool below = false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = start;
    while (end < relative.size() && !IsSeparator(relative[end])) ++end;
    const std::string component = relative.substr(start, end - start);
    if (component == "..") return Placement::Unsafe;
    if (!component.empty() && component != ".") {
      if (ZipHost::IsRefusedComponent(component)) return Placement::Unsafe;
      below = true;
    }
    start = end + 1;
  }
  return below ? Placement::Below : Placement::TargetItself;
}

// The last component of a name, as the archive gives it: splitting the name
// drops a trailing dot, which this platform may not keep.
std::string LastComponent(std::string name) {
  TrimTrailingSeparators(name);
  size_t at = name.size();
  while (at > 0 && !IsSeparator(name[at - 1])) --at;
  return name.substr(at);
}

// The part of the target path that BuildTargetPath appends to the folder.
std::string AppendedPart(const std::string& name, bool fullPath) {
  std::string trimmed = name;
  TrimTrailingSeparators(trimmed);
  CZipPath path;
  path.Split(trimmed);
  return fullPath ? path.PathWithoutDrive() : path.FileName();
}

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

bool CZipReader::ExtractEntry(int index, const char* targetFolder, bool fullPath,
                              const char* newName, uint32_t bufferSize) {
  if (bufferSize == 0) return false;
  CZipEntryHeader record;
  if (!GetEntryInfo(record, index)) return false;
  // A name that cannot be decoded is refused before anything is created:
  // never a file under a name the archive does not hold.
  if (!record.HasUsableName()) ThrowZipError(ErrBadEntryName, record.GetDisplayName());
  const std::string entryName = record.GetName();
  const std::string target = BuildTargetPath(entryName, targetFolder, fullPath, newName);

  // An entry may never place anything outside the target folder, nor change
  // the target folder itself. A zero byte would end the name early when it
  // reaches the system, so the name would not be the one checked here.
  const std::string used = newName ? std::string(newName) : entryName;
  const Placement placement = PlacementOf(AppendedPart(used, fullPath));
  const std::string last = LastComponent(used);
  if (used.find('\0') != std::string::npos || ZipHost::IsAbsoluteName(used) ||
      placement == Placement::Unsafe ||
      (!last.empty() && last != "." && last != ".." && ZipHost::IsRefusedComponent(last)) ||
      (placement == Placement::TargetItself && !record.IsFolder()))
    ThrowZipError(ErrUnsafePath, entryName.c_str());

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
    if (placement == Placement::Below) {
      outputTree.ForceFolder(root, relative);
      outputTree.SetFolderAttributes(root, relative, record.GetLocalAttributes());
    }
    if (sink) sink->End();
    return true;
  }

  if (sink) sink->SetWorkTotal(record.uncompressedSize);
  if (!OpenEntry(index)) return false;
  OpenEntryCloser closer(*this);

  CZipFile file;
  outputTree.CreateOutputFile(root, relative, target, record.GetLocalAttributes(), file);

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
