// A worker thread of an extraction (entry workers, solid part decoders), and
// a wait on a 32-bit counter that the other thread advances.
//
// The task must not call into the C or C++ runtime (no allocation, no
// exceptions; system calls only as zip_worker_io.h and WaitWhile/WakeAll
// make them): on Linux the thread is a bare kernel thread that shares the
// first thread's thread-local storage, because a full C library thread would
// add about 65 KB to the static stub. Builds with a sanitizer use a C
// library thread instead, so that the sanitizer knows the thread.
#pragma once

#include <atomic>
#include <cstdint>

class CZipWorkerThread {
 public:
  CZipWorkerThread() = default;
  // Joins a thread still running.
  ~CZipWorkerThread();
  CZipWorkerThread(const CZipWorkerThread&) = delete;
  CZipWorkerThread& operator=(const CZipWorkerThread&) = delete;

  // Runs task(context) on a new thread; false when none could be started.
  bool Start(void (*task)(void*), void* context);
  // Waits until the task has returned (nothing when no thread runs).
  void Join();
  bool Running() const { return handle != 0; }

  // Sleeps while `word` holds `value`; returns at once when it differs, and
  // may return early: callers check their condition again.
  static void WaitWhile(std::atomic<uint32_t>& word, uint32_t value);
  // WaitWhile for at most `milliseconds`; for the first thread only (it
  // may use the C library), which must look after its window meanwhile.
  static void WaitWhileFor(std::atomic<uint32_t>& word, uint32_t value, unsigned milliseconds);
  // Wakes every thread waiting on `word` (after it was changed).
  static void WakeAll(std::atomic<uint32_t>& word);
  // The processors this process may run on.
  static unsigned ProcessorCount();
  // Workers of an extraction on this machine: one a processor, at most
  // four; 1 means one thread does everything.
  static unsigned ExtractionWorkers() {
    const unsigned processors = ProcessorCount();
    return processors < 1 ? 1 : processors < 4 ? processors : 4;
  }

 private:
  void (*task)(void*) = nullptr;
  void* context = nullptr;
  // The running thread: its handle (Windows, C library thread) or the
  // mapping that holds its stack (bare thread); 0 when none runs.
  uintptr_t handle = 0;
};

// A counter that one thread advances and another waits on: the wake-up
// system call is made only while someone waits, so that a busy pair of
// threads hands work over without entering the kernel.
class CZipSignal {
 public:
  uint32_t Seen() const { return word.load(std::memory_order_acquire); }
  void Notify() {
    word.fetch_add(1, std::memory_order_seq_cst);
    if (waiters.load(std::memory_order_seq_cst) != 0) CZipWorkerThread::WakeAll(word);
  }
  // Sleeps while nothing was notified since `seen` was read; may return
  // early. With a limit in milliseconds: for the first thread only.
  void Wait(uint32_t seen) { WaitUpTo(seen, 0); }
  void WaitUpTo(uint32_t seen, unsigned milliseconds) {
    waiters.fetch_add(1, std::memory_order_seq_cst);
    if (word.load(std::memory_order_seq_cst) == seen) {
      if (milliseconds)
        CZipWorkerThread::WaitWhileFor(word, seen, milliseconds);
      else
        CZipWorkerThread::WaitWhile(word, seen);
    }
    waiters.fetch_sub(1, std::memory_order_seq_cst);
  }

 private:
  std::atomic<uint32_t> word{0};
  std::atomic<uint32_t> waiters{0};
};
