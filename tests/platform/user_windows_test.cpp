// Window classes and windows: creation, user data, destruction, bad handles.
#include "windows.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Seen {
  HWND hwnd;
  UINT message;
};

// What the recording procedure saw, and what it should answer at creation.
std::vector<Seen> g_seen;
LRESULT g_nc_create_answer = TRUE;
LRESULT g_create_answer = 0;
LONG_PTR g_user_data_at_create = 0;

LRESULT CALLBACK RecordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back({hWnd, message});
  if (message == WM_NCCREATE) {
    const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    if (g_nc_create_answer == FALSE) return FALSE;
  }
  if (message == WM_CREATE) {
    g_user_data_at_create = GetWindowLongPtrA(hWnd, GWLP_USERDATA);
    if (g_create_answer != 0) return g_create_answer;
  }
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

std::vector<UINT> MessagesOf(HWND window) {
  std::vector<UINT> messages;
  for (const Seen &seen : g_seen) {
    if (seen.hwnd == window) messages.push_back(seen.message);
  }
  return messages;
}

class UserWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_nc_create_answer = TRUE;
    g_create_answer = 0;
    g_user_data_at_create = 0;
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = kClass;
    ASSERT_NE(RegisterClassA(&wc), 0) << "error " << GetLastError();
  }
  void TearDown() override { UnregisterClassA(kClass, nullptr); }

  HWND Create(void *param = nullptr, HWND parent = nullptr, DWORD style = 0, int id = 0) {
    return CreateWindowExA(0, kClass, "title", style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, param);
  }

  static constexpr const char *kClass = "UserWindowsTestClass";
};

TEST_F(UserWindows, CreationSendsNcCreateWithTheParameterBeforeCreate) {
  int node = 0;
  const HWND window = Create(&node);
  ASSERT_NE(window, nullptr) << "error " << GetLastError();
  const std::vector<UINT> expected{WM_NCCREATE, WM_CREATE};
  EXPECT_EQ(MessagesOf(window), expected);
  EXPECT_EQ(g_user_data_at_create, reinterpret_cast<LONG_PTR>(&node))
      << "WM_CREATE must see the user data stored at WM_NCCREATE";
  char text[16];
  EXPECT_EQ(GetWindowTextA(window, text, sizeof text), 5);
  EXPECT_STREQ(text, "title");
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(UserWindows, RefusedCreationFailsAndLeavesNoWindow) {
  g_nc_create_answer = FALSE;
  EXPECT_EQ(Create(), nullptr);
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.back().message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_FALSE(IsWindow(g_seen.front().hwnd));

  g_seen.clear();
  g_nc_create_answer = TRUE;
  g_create_answer = -1;
  EXPECT_EQ(Create(), nullptr);
  ASSERT_FALSE(g_seen.empty());
  const std::vector<UINT> expected{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY};
  EXPECT_EQ(MessagesOf(g_seen.front().hwnd), expected);
  EXPECT_FALSE(IsWindow(g_seen.front().hwnd));
  // Nothing is left that still uses the class.
  EXPECT_TRUE(UnregisterClassA(kClass, nullptr)) << "error " << GetLastError();
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = kClass;
  EXPECT_NE(RegisterClassA(&wc), 0);
}

TEST_F(UserWindows, ClassRegistrationErrors) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "userwindowstestclass";  // names match without regard to case
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  const HWND window = Create();
  EXPECT_FALSE(UnregisterClassA(kClass, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(window);

  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(Create(nullptr, nullptr, WS_CHILD), nullptr) << "a child needs a parent";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

TEST_F(UserWindows, CloseThroughDefaultProcedureDestroysAndTheHandleDies) {
  const HWND window = Create();
  ASSERT_NE(window, nullptr);
  g_seen.clear();
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
  const std::vector<UINT> expected{WM_CLOSE, WM_DESTROY, WM_NCDESTROY};
  EXPECT_EQ(MessagesOf(window), expected);
  EXPECT_FALSE(IsWindow(window));

  SetLastError(0);
  EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(UserWindows, DestroyReachesChildrenInTheSystemOrder) {
  const HWND parent = Create();
  const HWND child = Create(nullptr, parent, WS_CHILD, 404);
  ASSERT_NE(child, nullptr) << "error " << GetLastError();
  EXPECT_EQ(GetDlgItem(parent, 404), child);
  EXPECT_EQ(GetDlgCtrlID(child), 404);
  EXPECT_EQ(GetParent(child), parent);
  EXPECT_TRUE(IsChild(parent, child));

  g_seen.clear();
  EXPECT_TRUE(DestroyWindow(parent));
  ASSERT_EQ(g_seen.size(), 4u);
  EXPECT_TRUE(g_seen[0].hwnd == parent && g_seen[0].message == WM_DESTROY);
  EXPECT_TRUE(g_seen[1].hwnd == child && g_seen[1].message == WM_DESTROY);
  EXPECT_TRUE(g_seen[2].hwnd == child && g_seen[2].message == WM_NCDESTROY);
  EXPECT_TRUE(g_seen[3].hwnd == parent && g_seen[3].message == WM_NCDESTROY);
  EXPECT_FALSE(IsWindow(child));
}

TEST_F(UserWindows, OnlyTheOwningThreadDestroys) {
  const HWND window = Create();
  BOOL destroyed = TRUE;
  DWORD error = 0;
  std::thread([&] {
    destroyed = DestroyWindow(window);
    error = GetLastError();
  }).join();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(IsWindow(window));
  DestroyWindow(window);
}

TEST_F(UserWindows, WindowValuesAnswerWithThePreviousValue) {
  const HWND window = Create();
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  EXPECT_EQ(SetWindowLongPtrA(window, GWLP_USERDATA, 42), 0);
  EXPECT_EQ(SetWindowLongPtrA(window, GWLP_USERDATA, 43), 42);
  EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), 43);
  EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(RecordingProc));

  // Replacing the procedure routes the next message to the new one.
  const auto previous = SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
  EXPECT_EQ(previous, reinterpret_cast<LONG_PTR>(RecordingProc));
  g_seen.clear();
  SendMessageA(window, WM_USER, 0, 0);
  EXPECT_TRUE(g_seen.empty());

  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(window, 64), 0) << "a class without extra bytes has no index 64";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  DestroyWindow(window);
}

TEST(UserBadHandles, StaleForgedAndNullHandlesAreRefusedWithoutCrashing) {
  int on_the_stack = 0;
  const HWND forged[] = {nullptr, reinterpret_cast<HWND>(0x1234), reinterpret_cast<HWND>(-1),
                         reinterpret_cast<HWND>(&on_the_stack)};
  for (const HWND window : forged) {
    SCOPED_TRACE(reinterpret_cast<uintptr_t>(window));
    char text[8] = "x";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(SetWindowTextA(window, "t"));
    EXPECT_EQ(GetWindowTextA(window, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(SetDlgItemTextA(window, 404, "t"));
    EXPECT_EQ(GetDlgItemTextA(window, 404, text, sizeof text), 0u);
    EXPECT_EQ(GetDlgItem(window, 1), nullptr);
    EXPECT_EQ(SetTimer(window ? window : reinterpret_cast<HWND>(0x10), 1, 10, nullptr), 0u);
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    MSG msg{};
    msg.hwnd = window;
    msg.message = WM_USER;
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    if (window != nullptr && window != reinterpret_cast<HWND>(-1)) {  // -1 filters thread messages
      EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
      EXPECT_EQ(GetMessageA(&msg, window, 0, 0), -1) << "a filter on a window that is not ours is an error";
    }
  }
  // A forged timer message must never make the dispatcher jump to its lParam.
  MSG timer{nullptr, WM_TIMER, 7, 0x1234, 0, {0, 0}};
  EXPECT_EQ(DispatchMessageA(&timer), 0);
}

}  // namespace
