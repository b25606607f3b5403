// Threads and waits: handles from CreateThread, exit codes, time-outs, and
// handle values that are not (or no longer) open.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "windows.h"

namespace {

// Holds a thread inside its routine until the test opens it.
struct Gate {
  std::mutex mutex;
  std::condition_variable opened_changed;
  bool opened = false;
  std::atomic<DWORD> thread_id{0};

  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    opened = true;
    opened_changed.notify_all();
  }
  void Pass() {
    std::unique_lock<std::mutex> lock(mutex);
    opened_changed.wait(lock, [this] { return opened; });
  }
};

DWORD WINAPI GatedRoutine(LPVOID parameter) {
  auto *gate = static_cast<Gate *>(parameter);
  gate->thread_id = GetCurrentThreadId();
  gate->Pass();
  return 7;
}

TEST(Threads, ExitCodeAndWaitFollowTheThreadsLife) {
  Gate gate;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, GatedRoutine, &gate, 0, &id);
  ASSERT_NE(thread, nullptr) << GetLastError();
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());

  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE)) << "a thread held at its gate reported an exit code";
  EXPECT_EQ(WaitForSingleObject(thread, 10), static_cast<DWORD>(WAIT_TIMEOUT));

  gate.Open();
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(gate.thread_id.load(), id) << "CreateThread's id differs from the thread's own";
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "a finished thread stays signalled";
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(Threads, ClosingTheHandleLeavesTheThreadRunning) {
  static Gate gate;  // outlives the test in case the thread is still at its gate when it fails
  static std::atomic<bool> finished{false};
  HANDLE thread = CreateThread(
      nullptr, 64 * 1024,
      [](LPVOID) -> DWORD {
        gate.Pass();
        finished = true;
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  gate.Open();
  while (!finished) Sleep(1);

  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED) << "a closed handle still answered";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Threads, ValuesThatAreNoHandleAreRefused) {
  int not_a_handle = 0;
  HANDLE bogus[] = {nullptr, INVALID_HANDLE_VALUE, &not_a_handle, reinterpret_cast<HANDLE>(0x10008)};
  for (HANDLE handle : bogus) {
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(handle, INFINITE), WAIT_FAILED) << handle;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << handle;
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(handle, &code)) << handle;
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(handle)) << handle;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << handle;
  }
  SetLastError(0);
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
