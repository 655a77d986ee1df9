#include "zip/zip_worker_thread.h"

#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "zip/zip_bare_thread_posix.h"

namespace {

// Signals stay with the first thread: the worker starts with all of them
// blocked (a new thread inherits the mask of the one that makes it).
class AllSignalsBlocked {
 public:
  AllSignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
  }
  ~AllSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
  AllSignalsBlocked(const AllSignalsBlocked&) = delete;
  AllSignalsBlocked& operator=(const AllSignalsBlocked&) = delete;

 private:
  sigset_t previous;
};

}  // namespace

unsigned CZipWorkerThread::ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(CPU_COUNT(&set));
}

CZipWorkerThread::~CZipWorkerThread() { Join(); }

#ifdef KVSFX_LIBRARY_THREAD

#include <pthread.h>

namespace {

pthread_mutex_t changeLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t changed = PTHREAD_COND_INITIALIZER;

}  // namespace

bool CZipWorkerThread::Start(void (*run)(void*), void* argument) {
  if (handle) return false;
  task = run;
  context = argument;
  auto entry = [](void* self) -> void* {
    CZipWorkerThread* thread = static_cast<CZipWorkerThread*>(self);
    thread->task(thread->context);
    return nullptr;
  };
  AllSignalsBlocked blocked;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, entry, this) != 0) return false;
  handle = static_cast<uintptr_t>(thread);
  return true;
}

void CZipWorkerThread::Join() {
  if (!handle) return;
  pthread_join(static_cast<pthread_t>(handle), nullptr);
  handle = 0;
}

void CZipWorkerThread::WaitWhile(std::atomic<uint32_t>& word, uint32_t value) {
  pthread_mutex_lock(&changeLock);
  while (word.load(std::memory_order_acquire) == value) pthread_cond_wait(&changed, &changeLock);
  pthread_mutex_unlock(&changeLock);
}

void CZipWorkerThread::WaitWhileFor(std::atomic<uint32_t>& word, uint32_t value, unsigned milliseconds) {
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  pthread_mutex_lock(&changeLock);
  while (word.load(std::memory_order_acquire) == value &&
         pthread_cond_timedwait(&changed, &changeLock, &deadline) == 0) {
  }
  pthread_mutex_unlock(&changeLock);
}

void CZipWorkerThread::WakeAll(std::atomic<uint32_t>&) {
  // A waiter checks the word under the lock: passing through the lock after
  // the change means it either saw the change or already waits.
  pthread_mutex_lock(&changeLock);
  pthread_mutex_unlock(&changeLock);
  pthread_cond_broadcast(&changed);
}

#else

#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>

#include <climits>

namespace {

// The thread's stack is the top of this mapping (it grows down on x86-64 and
// aarch64; the top is page-aligned, so 16-byte aligned as both require); its
// first bytes hold the thread id, which the kernel sets when the thread
// starts and clears (waking its waiters) when the thread has ended and no
// longer uses the stack.
constexpr size_t kStackSize = 64 * 1024;

pid_t* ThreadIdIn(uintptr_t mapping) { return reinterpret_cast<pid_t*>(mapping); }

// futex(2) issued directly; the timeout argument is always null (wait
// without a limit).
long Futex(void* word, int operation, uint32_t value) {
  return BareSyscall(SYS_futex, reinterpret_cast<long>(word), operation, static_cast<long>(value), 0);
}

}  // namespace

bool CZipWorkerThread::Start(void (*run)(void*), void* argument) {
  if (handle) return false;
  task = run;
  context = argument;
  void* mapping = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (mapping == MAP_FAILED) return false;
  auto entry = [](void* self) -> int {
    CZipWorkerThread* thread = static_cast<CZipWorkerThread*>(self);
    thread->task(thread->context);
    return 0;
  };
  pid_t* threadId = ThreadIdIn(reinterpret_cast<uintptr_t>(mapping));
  const int flags = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND | CLONE_THREAD |
                    CLONE_SYSVSEM | CLONE_PARENT_SETTID | CLONE_CHILD_CLEARTID;
  int id;
  {
    AllSignalsBlocked blocked;
    id = clone(entry, static_cast<char*>(mapping) + kStackSize, flags, this, threadId, nullptr,
               threadId);
  }
  if (id == -1) {
    munmap(mapping, kStackSize);
    return false;
  }
  handle = reinterpret_cast<uintptr_t>(mapping);
  return true;
}

void CZipWorkerThread::Join() {
  if (!handle) return;
  pid_t* threadId = ThreadIdIn(handle);
  for (;;) {
    const pid_t id = __atomic_load_n(threadId, __ATOMIC_ACQUIRE);
    if (id == 0) break;
    // The kernel's wake-up at thread end is not a private one.
    Futex(threadId, FUTEX_WAIT, static_cast<uint32_t>(id));
  }
  munmap(reinterpret_cast<void*>(handle), kStackSize);
  handle = 0;
}

void CZipWorkerThread::WaitWhile(std::atomic<uint32_t>& word, uint32_t value) {
  Futex(&word, FUTEX_WAIT_PRIVATE, value);
}

void CZipWorkerThread::WaitWhileFor(std::atomic<uint32_t>& word, uint32_t value, unsigned milliseconds) {
  timespec timeout{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  syscall(SYS_futex, &word, FUTEX_WAIT_PRIVATE, value, &timeout, nullptr, 0);
}

void CZipWorkerThread::WakeAll(std::atomic<uint32_t>& word) {
  Futex(&word, FUTEX_WAKE_PRIVATE, INT_MAX);
}

#endif
