// Tick counts and sleeping.
#include <errno.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include "windows.h"

namespace {

void SleepMilliseconds(DWORD ms) {
  if (ms == 0) {
    // A zero sleep gives up the rest of the time slice, as callers polling
    // another thread expect.
    ::sched_yield();
    return;
  }
  if (ms == INFINITE) {
    for (;;) ::pause();
  }
  timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace

ULONGLONG WINAPI GetTickCount64(void) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<ULONGLONG>(now.tv_sec) * 1000u + static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

// Wraps every 49.7 days; callers compare differences of two readings, which
// stay right across the wrap in unsigned arithmetic.
DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(GetTickCount64()); }

DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL /*bAlertable*/) {
  // No asynchronous procedure calls are ever queued to a thread here, so an
  // alertable sleep always runs its full time and reports 0.
  SleepMilliseconds(dwMilliseconds);
  return 0;
}

void WINAPI Sleep(DWORD dwMilliseconds) { SleepMilliseconds(dwMilliseconds); }
