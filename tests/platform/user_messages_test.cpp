// Message queues and the loop: order, filters, other threads, time stamps,
// quit and timers.
#include "windows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Handled {
  UINT message;
  WPARAM wparam;
  DWORD thread;
};
std::mutex g_handled_mutex;
std::vector<Handled> g_handled;

LRESULT CALLBACK LoopProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER || message == WM_TIMER) {
    std::lock_guard<std::mutex> lock(g_handled_mutex);
    g_handled.push_back({message, wParam, GetCurrentThreadId()});
    return static_cast<LRESULT>(wParam) + lParam;
  }
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

// Retrieves and dispatches until a wanted message arrives. A watchdog thread
// posts kGiveUp after five seconds, so that a queue that never wakes (timers
// included) fails the test instead of hanging it.
constexpr UINT kGiveUp = WM_USER + 0x3FF;

bool GetMessageUntil(MSG *msg, const std::function<bool(const MSG &)> &wanted) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  const DWORD self = GetCurrentThreadId();
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!finished.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) {
      PostThreadMessageA(self, kGiveUp, 0, 0);
    }
  });
  bool found = false;
  while (GetMessageA(msg, nullptr, 0, 0) > 0) {
    if (msg->message == kGiveUp && msg->hwnd == nullptr) break;
    if (wanted(*msg)) {
      found = true;
      break;
    }
    DispatchMessageA(msg);
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  finished.notify_all();
  watchdog.join();
  return found;
}

class UserMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    g_handled.clear();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LoopProc;
    wc.lpszClassName = kClass;
    ASSERT_NE(RegisterClassExA(&wc), 0) << "error " << GetLastError();
    window_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(window_);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(kClass, nullptr);
  }

  static constexpr const char *kClass = "UserMessagesTestClass";
  HWND window_ = nullptr;
};

TEST_F(UserMessages, PostedMessagesKeepTheirOrderAndFiltersPickAmongThem) {
  ASSERT_TRUE(PostMessageA(window_, WM_USER + 1, 0, 0));
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 2, 0, 0));
  ASSERT_TRUE(PostMessageA(window_, WM_USER + 3, 0, 0));
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1)) << "a look must not remove";
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2)) << "filter -1 takes only thread messages";
  EXPECT_EQ(msg.hwnd, nullptr);
  ASSERT_TRUE(PeekMessageA(&msg, window_, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(msg.hwnd, window_);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(UserMessages, AnotherThreadsPostWakesTheWaitingLoopAndRunsOnTheWindowsThread) {
  const DWORD before = GetTickCount();
  std::thread poster([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // let the loop wait first
    for (WPARAM i = 1; i <= 3; ++i) PostMessageA(window_, WM_USER, i, 0);
  });
  MSG msg{};
  std::vector<WPARAM> order;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(GetMessageUntil(&msg, [](const MSG &m) { return m.message == WM_USER; }))
        << "the posted message never arrived";
    order.push_back(msg.wParam);
    DispatchMessageA(&msg);
  }
  poster.join();
  EXPECT_EQ(order, (std::vector<WPARAM>{1, 2, 3}));
  ASSERT_EQ(g_handled.size(), 3u);
  EXPECT_EQ(g_handled[0].thread, GetCurrentThreadId()) << "dispatch runs the procedure on the caller's thread";

  // The time stamp is the posting time, in GetTickCount's base.
  const DWORD stamp = static_cast<DWORD>(GetMessageTime());
  EXPECT_EQ(stamp, msg.time);
  EXPECT_LE(before, stamp);
  EXPECT_LE(stamp, GetTickCount());
}

TEST(UserMessageTime, IsZeroUntilTheThreadRetrievesAMessage) {
  std::thread([] {
    EXPECT_EQ(GetMessageTime(), 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_USER, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<DWORD>(GetMessageTime()), msg.time);
  }).join();
}

TEST_F(UserMessages, SendFromAnotherThreadWaitsForTheOwnersLoop) {
  LRESULT answer = 0;
  std::thread sender([&] {
    answer = SendMessageA(window_, WM_USER + 5, 2, 3);
    PostMessageA(window_, WM_USER + 6, 0, 0);
  });
  MSG msg{};
  const bool ended = GetMessageUntil(&msg, [](const MSG &m) { return m.message == WM_USER + 6; });
  sender.join();
  ASSERT_TRUE(ended);
  EXPECT_EQ(answer, 5);
  ASSERT_FALSE(g_handled.empty());
  EXPECT_EQ(g_handled[0].message, static_cast<UINT>(WM_USER + 5));
  EXPECT_EQ(g_handled[0].thread, GetCurrentThreadId());
}

TEST_F(UserMessages, ControlTextsCanBeSetFromAThreadThatDoesNotWaitForTheOwner) {
  const HWND text = CreateWindowExA(0, "STATIC", "Initializing", WS_CHILD, 0, 0, 0, 0, window_,
                                    reinterpret_cast<HMENU>(404), nullptr, nullptr);
  ASSERT_NE(text, nullptr);
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
  std::thread setter([&] {
    SetDlgItemTextA(window_, 404, "Receiving Data");
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    changed.notify_all();
  });
  {
    // This thread runs no loop while it waits.
    std::unique_lock<std::mutex> lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return done; }))
        << "setting a control's text waited for the owner's message loop";
  }
  for (MSG msg;; PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {  // releases a waiting setter
    std::lock_guard<std::mutex> lock(mutex);
    if (done) break;
  }
  setter.join();
  char buffer[32];
  EXPECT_EQ(GetDlgItemTextA(window_, 404, buffer, sizeof buffer), 14u);
  EXPECT_STREQ(buffer, "Receiving Data");
}

TEST_F(UserMessages, QuitComesAfterPostedMessagesWithItsExitCode) {
  PostQuitMessage(7);
  PostMessageA(window_, WM_USER, 0, 0);
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(GetMessageA(&msg, window_, WM_USER, WM_USER), FALSE) << "the quit passes every filter";
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

UINT_PTR g_timer_proc_id = 0;
void CALLBACK RecordTimer(HWND, UINT, UINT_PTR id, DWORD) { g_timer_proc_id = id; }

TEST_F(UserMessages, TimersWakeAnIdleLoopUntilKilled) {
  ASSERT_NE(SetTimer(window_, 9, 20, nullptr), 0u);
  MSG msg{};
  ASSERT_TRUE(GetMessageUntil(&msg, [](const MSG &m) { return m.message == WM_TIMER && m.wParam == 9; }))
      << "nothing woke the loop";
  EXPECT_EQ(msg.hwnd, window_);
  DispatchMessageA(&msg);
  ASSERT_FALSE(g_handled.empty());
  EXPECT_EQ(g_handled.back().message, static_cast<UINT>(WM_TIMER));

  EXPECT_TRUE(KillTimer(window_, 9));
  EXPECT_FALSE(KillTimer(window_, 9));
  EXPECT_FALSE(PeekMessageA(&msg, window_, WM_TIMER, WM_TIMER, PM_REMOVE)) << "a killed timer fired";

  // A timer with a procedure: dispatching its message calls the procedure.
  const UINT_PTR id = SetTimer(nullptr, 0, 10, RecordTimer);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(GetMessageUntil(&msg, [id](const MSG &m) { return m.message == WM_TIMER && m.wParam == id; }));
  DispatchMessageA(&msg);
  EXPECT_EQ(g_timer_proc_id, id);
  KillTimer(nullptr, id);
}

TEST_F(UserMessages, LimitsAndMissingQueuesAreReportedNotFatal) {
  MSG msg{};
  EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);

  SetLastError(0);
  EXPECT_FALSE(PostThreadMessageA(0xFFFFFFF0u, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));

  int posted = 0;
  while (PostThreadMessageA(GetCurrentThreadId(), WM_USER, 0, 0) && posted < 20000) ++posted;
  EXPECT_EQ(posted, 10000);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }

  // A thread's windows end with it.
  HWND orphan = nullptr;
  std::thread([&] {
    orphan = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  }).join();
  ASSERT_NE(orphan, nullptr);
  EXPECT_FALSE(IsWindow(orphan));
  EXPECT_FALSE(PostMessageA(orphan, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
