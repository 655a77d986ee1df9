#pragma once
// Progress interface that the archive reader calls while it works.
// The reader holds pointers to sinks and never owns or deletes them.

#include <cstdint>
#include <string>

// Progress kinds: one bit each; a sink is registered per bit.
enum : uint32_t {
  ProgressAdd = 1,
  ProgressDelete = 2,
  ProgressTest = 4,
  ProgressExtract = 8,         // extracting an entry
  ProgressDeleteSave = 16,
  ProgressSave = 32,
  ProgressRename = 64,
  ProgressSaveDirectory = 128, // writing the central directory (write side)
  ProgressReplace = 256,
  ProgressMove = 512,
  ProgressOther = 1024,
};

class CZipProgress {
 public:
  // Slot 0: reaction to `amount` more units of work; false = abort.
  virtual bool Step(int32_t amount) = 0;

  // Slot 1: a new operation starts on `fileInArchive` / `externalFile`.
  virtual void Begin(const std::string& inArchive, const std::string& onDisk) {
    fileInArchive = inArchive;
    externalFile = onDisk;
    workTotal = 0;
    workDone = 0;
  }

  // Slot 2: the total amount of the coming operation.
  virtual void SetWorkTotal(int64_t total) { workTotal = total; }

  // Slot 3: the operation has finished (also after an abort).
  virtual void End() {}

  // Slot 4: `amount` more units are done; forwards to Step.
  virtual bool Advance(int32_t amount) {
    workDone += amount;
    return Step(amount);
  }

  virtual ~CZipProgress() = default;

  std::string externalFile;   // file on disk the operation works on
  int32_t kind = 0;           // progress kind now reporting
  // 64 bits: one entry may hold up to 4 GiB - 1 bytes.
  int64_t workTotal = 0;
  int64_t workDone = 0;
  std::string fileInArchive;  // entry name in the archive
};
