#include "zip/zip_target_name.h"

#include "zip/zip_exception.h"
#include "zip/zip_host.h"
#include "zip/zip_path.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The last component of a name, as the archive gives it: splitting the name
// drops a trailing dot, which this platform may not keep.
std::string LastComponent(std::string name) {
  TrimTrailingSeparators(name);
  size_t at = name.size();
  while (at > 0 && !IsSeparator(name[at - 1])) --at;
  return name.substr(at);
}

}  // namespace

void TrimTrailingSeparators(std::string& s) {
  while (!s.empty() && IsSeparator(s.back())) s.pop_back();
}

TargetPlacement PlacementOf(const std::string& relative) {
  bool below = false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = start;
    while (end < relative.size() && !IsSeparator(relative[end])) ++end;
    const std::string component = relative.substr(start, end - start);
    if (component == "..") return TargetPlacement::Unsafe;
    if (!component.empty() && component != ".") {
      if (ZipHost::IsRefusedComponent(component)) return TargetPlacement::Unsafe;
      below = true;
    }
    start = end + 1;
  }
  return below ? TargetPlacement::Below : TargetPlacement::TargetItself;
}

std::string AppendedPart(const std::string& name, bool fullPath) {
  std::string trimmed = name;
  TrimTrailingSeparators(trimmed);
  CZipPath path;
  path.Split(trimmed);
  return fullPath ? path.PathWithoutDrive() : path.FileName();
}

TargetPlacement CheckTargetName(const std::string& used, bool fullPath, bool isFolder,
                                const std::string& entryName) {
  // A zero byte would end the name early when it reaches the system, so the
  // name would not be the one checked here.
  const TargetPlacement placement = PlacementOf(AppendedPart(used, fullPath));
  const std::string last = LastComponent(used);
  if (used.find('\0') != std::string::npos || ZipHost::IsAbsoluteName(used) ||
      placement == TargetPlacement::Unsafe ||
      (!last.empty() && last != "." && last != ".." && ZipHost::IsRefusedComponent(last)) ||
      (placement == TargetPlacement::TargetItself && !isFolder))
    ThrowZipError(ErrUnsafePath, entryName.c_str());
  return placement;
}
