#include "zip/zip_worker_thread.h"

#include <windows.h>

#include "framework/scoped_win_handle.h"

namespace {

constexpr SIZE_T kStackSize = 64 * 1024;

SRWLOCK changeLock = SRWLOCK_INIT;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;

}  // namespace

CZipWorkerThread::~CZipWorkerThread() { Join(); }

bool CZipWorkerThread::Start(void (*run)(void*), void* argument) {
  if (handle) return false;
  task = run;
  context = argument;
  auto entry = [](LPVOID self) WINAPI -> DWORD {
    CZipWorkerThread* thread = static_cast<CZipWorkerThread*>(self);
    thread->task(thread->context);
    return 0;
  };
  handle = reinterpret_cast<uintptr_t>(
      CreateThread(nullptr, kStackSize, entry, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  return handle != 0;
}

void CZipWorkerThread::Join() {
  if (!handle) return;
  ScopedWinHandle thread(reinterpret_cast<HANDLE>(handle));
  handle = 0;
  WaitForSingleObject(thread.Get(), INFINITE);
}

void CZipWorkerThread::WaitWhile(std::atomic<uint32_t>& word, uint32_t value) {
  AcquireSRWLockExclusive(&changeLock);
  while (word.load(std::memory_order_acquire) == value)
    SleepConditionVariableSRW(&changed, &changeLock, INFINITE, 0);
  ReleaseSRWLockExclusive(&changeLock);
}

void CZipWorkerThread::WaitWhileFor(std::atomic<uint32_t>& word, uint32_t value, unsigned milliseconds) {
  AcquireSRWLockExclusive(&changeLock);
  if (word.load(std::memory_order_acquire) == value)
    SleepConditionVariableSRW(&changed, &changeLock, milliseconds, 0);
  ReleaseSRWLockExclusive(&changeLock);
}

void CZipWorkerThread::WakeAll(std::atomic<uint32_t>&) {
  // A waiter checks the word under the lock: passing through the lock after
  // the change means it either saw the change or already waits.
  AcquireSRWLockExclusive(&changeLock);
  ReleaseSRWLockExclusive(&changeLock);
  WakeAllConditionVariable(&changed);
}

unsigned CZipWorkerThread::ProcessorCount() {
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
  unsigned count = 0;
  for (; process; process &= process - 1) ++count;
  return count;
}
