// Threads: CreateThread over pthreads, with handles from the kernel object
// table. A thread runs on whether or not its handle is still open; the
// handle only lets others wait for it and read its exit code.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "kernel_objects.h"
#include "memory_probe.h"
#include "windows.h"

namespace zem::platform {
namespace {

// Windows reserves a megabyte of stack unless the program asks for more; a
// smaller request is a commit size there, not a limit.
constexpr SIZE_T kMinimumStack = 1u << 20;

class ThreadObject : public KernelObject {
 public:
  DWORD Wait(DWORD milliseconds) override {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto finished = [this] { return finished_; };
    if (milliseconds == INFINITE) {
      changed_.wait(lock, finished);
      return WAIT_OBJECT_0;
    }
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), finished) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }

  DWORD ExitCode() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_ ? exit_code_ : STILL_ACTIVE;
  }

  // Called by the new thread before it runs the caller's routine, so that
  // CreateThread can report the id.
  void Started(DWORD id) {
    std::lock_guard<std::mutex> lock(mutex_);
    id_ = id;
    changed_.notify_all();
  }

  DWORD WaitForId() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return id_ != 0; });
    return id_;
  }

  void Finished(DWORD code) {
    std::lock_guard<std::mutex> lock(mutex_);
    exit_code_ = code;
    finished_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  DWORD id_ = 0;
  DWORD exit_code_ = STILL_ACTIVE;
  bool finished_ = false;
};

struct StartBlock {
  std::shared_ptr<ThreadObject> thread;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

void *ThreadMain(void *argument) {
  std::unique_ptr<StartBlock> start(static_cast<StartBlock *>(argument));
  start->thread->Started(GetCurrentThreadId());
  start->thread->Finished(start->routine(start->parameter));
  return nullptr;
}

}  // namespace
}  // namespace zem::platform

using zem::platform::ThreadObject;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD /*dwCreationFlags*/,
                           LPDWORD lpThreadId) {
  if (lpStartAddress == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (lpThreadId != nullptr && !zem::platform::IsWritableRange(lpThreadId, sizeof *lpThreadId)) {
    SetLastError(ERROR_NOACCESS);
    return nullptr;
  }
  auto thread = std::make_shared<ThreadObject>();
  auto *start = new zem::platform::StartBlock{thread, lpStartAddress, lpParameter};

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (dwStackSize != 0) {
    pthread_attr_setstacksize(&attributes, std::max(dwStackSize, zem::platform::kMinimumStack));
  }
  pthread_t id;
  const int failed = pthread_create(&id, &attributes, zem::platform::ThreadMain, start);
  pthread_attr_destroy(&attributes);
  if (failed != 0) {
    delete start;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const DWORD thread_id = thread->WaitForId();
  if (lpThreadId != nullptr) *lpThreadId = thread_id;
  return zem::platform::RegisterKernelObject(std::move(thread));
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  const auto thread = std::dynamic_pointer_cast<ThreadObject>(zem::platform::LookupKernelObject(hThread));
  if (thread == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpExitCode == nullptr || !zem::platform::IsWritableRange(lpExitCode, sizeof *lpExitCode)) {
    SetLastError(lpExitCode == nullptr ? ERROR_INVALID_PARAMETER : ERROR_NOACCESS);
    return FALSE;
  }
  *lpExitCode = thread->ExitCode();
  return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void) {
  // The kernel's thread id: unique in the system while the thread lives and
  // small enough for a DWORD.
  thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(::getpid()); }
