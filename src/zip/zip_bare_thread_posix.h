// What code on a bare worker thread may use on Linux: system calls issued
// directly. The bare thread shares the first thread's thread-local storage,
// errno included, so it must not go through the C library's wrappers.
// Builds with a sanitizer (and other systems or machines) use C library
// threads instead, so that the sanitizer knows the thread; there the
// wrappers are fine and KVSFX_LIBRARY_THREAD is defined.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KVSFX_LIBRARY_THREAD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__linux__) || \
    !(defined(__x86_64__) || defined(__aarch64__))
#define KVSFX_LIBRARY_THREAD 1
#endif

#ifndef KVSFX_LIBRARY_THREAD

// System call `number` with up to four arguments; the kernel's result
// (negative: minus the error number).
inline long BareSyscall(long number, long a0, long a1, long a2, long a3) {
#if defined(__x86_64__)
  long result;
  register long fourth asm("r10") = a3;
  asm volatile("syscall"
               : "=a"(result)
               : "0"(number), "D"(a0), "S"(a1), "d"(a2), "r"(fourth)
               : "rcx", "r11", "memory");
  return result;
#else
  // aarch64: number in x8, arguments in x0-x3, result in x0.
  register long n asm("x8") = number;
  register long first asm("x0") = a0;
  register long second asm("x1") = a1;
  register long third asm("x2") = a2;
  register long fourth asm("x3") = a3;
  asm volatile("svc #0" : "+r"(first) : "r"(n), "r"(second), "r"(third), "r"(fourth) : "memory");
  return first;
#endif
}

#endif
