#include "zip/zip_worker_thread.h"

#include <windows.h>

#include "framework/scoped_win_handle.h"

namespace {

constexpr SIZE_T kStackSize = 64 * 1024;

SRWLOCK changeLock = SRWLOCK_INIT;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;

struct Task {
  void (*run)(void*);
  void* context;
};

DWORD WINAPI RunTask(LPVOID p) {
  Task* task = static_cast<Task*>(p);
  task->run(task->context);
  return 0;
}

}  // namespace

struct CZipWorkerThread::State {
  Task task;
  ScopedWinHandle thread;
};

CZipWorkerThread::~CZipWorkerThread() { Join(); }

bool CZipWorkerThread::Start(void (*task)(void*), void* context) {
  if (state) return false;
  State* s = new State{Task{task, context}, ScopedWinHandle()};
  s->thread.Reset(CreateThread(nullptr, kStackSize, RunTask, &s->task,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!s->thread) {
    delete s;
    return false;
  }
  state = s;
  return true;
}

void CZipWorkerThread::Join() {
  if (!state) return;
  WaitForSingleObject(state->thread.Get(), INFINITE);
  delete state;
  state = nullptr;
}

void CZipWorkerThread::WaitWhile(std::atomic<uint32_t>& word, uint32_t value) {
  AcquireSRWLockExclusive(&changeLock);
  while (word.load(std::memory_order_acquire) == value)
    SleepConditionVariableSRW(&changed, &changeLock, INFINITE, 0);
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
