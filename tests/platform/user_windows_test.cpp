// Window classes and windows: creation, user data, destruction, bad handles.
#include "windows.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Seen {
  HWND hWnd;
  UINT message;
};

// What the recording procedure saw, and what it should answer at creation.
std::vector<Seen> gSeen;
LRESULT gNcCreateAnswer = TRUE;
LRESULT gCreateAnswer = 0;
LONG_PTR gUserDataAtCreate = 0;

LRESULT CALLBACK RecordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  gSeen.push_back({hWnd, message});
  if (message == WM_NCCREATE) {
    const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    if (gNcCreateAnswer == FALSE) return FALSE;
  }
  if (message == WM_CREATE) {
    gUserDataAtCreate = GetWindowLongPtrA(hWnd, GWLP_USERDATA);
    if (gCreateAnswer != 0) return gCreateAnswer;
  }
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

std::vector<UINT> MessagesOf(HWND hWnd) {
  std::vector<UINT> messages;
  for (const Seen &seen : gSeen) {
    if (seen.hWnd == hWnd) messages.push_back(seen.message);
  }
  return messages;
}

class UserWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen.clear();
    gNcCreateAnswer = TRUE;
    gCreateAnswer = 0;
    gUserDataAtCreate = 0;
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
  const HWND hWnd = Create(&node);
  ASSERT_NE(hWnd, nullptr) << "error " << GetLastError();
  const std::vector<UINT> expected{WM_NCCREATE, WM_CREATE};
  EXPECT_EQ(MessagesOf(hWnd), expected);
  EXPECT_EQ(gUserDataAtCreate, reinterpret_cast<LONG_PTR>(&node))
      << "WM_CREATE must see the user data stored at WM_NCCREATE";
  char text[16];
  EXPECT_EQ(GetWindowTextA(hWnd, text, sizeof text), 5);
  EXPECT_STREQ(text, "title");
  EXPECT_TRUE(DestroyWindow(hWnd));
}

TEST_F(UserWindows, RefusedCreationFailsAndLeavesNoWindow) {
  gNcCreateAnswer = FALSE;
  EXPECT_EQ(Create(), nullptr);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_FALSE(IsWindow(gSeen.front().hWnd));

  gSeen.clear();
  gNcCreateAnswer = TRUE;
  gCreateAnswer = -1;
  EXPECT_EQ(Create(), nullptr);
  ASSERT_FALSE(gSeen.empty());
  const std::vector<UINT> expected{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY};
  EXPECT_EQ(MessagesOf(gSeen.front().hWnd), expected);
  EXPECT_FALSE(IsWindow(gSeen.front().hWnd));
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

  const HWND hWnd = Create();
  EXPECT_FALSE(UnregisterClassA(kClass, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(hWnd);

  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(Create(nullptr, nullptr, WS_CHILD), nullptr) << "a child needs a parent";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

TEST_F(UserWindows, CloseThroughDefaultProcedureDestroysAndTheHandleDies) {
  const HWND hWnd = Create();
  ASSERT_NE(hWnd, nullptr);
  gSeen.clear();
  EXPECT_EQ(SendMessageA(hWnd, WM_CLOSE, 0, 0), 0);
  const std::vector<UINT> expected{WM_CLOSE, WM_DESTROY, WM_NCDESTROY};
  EXPECT_EQ(MessagesOf(hWnd), expected);
  EXPECT_FALSE(IsWindow(hWnd));

  SetLastError(0);
  EXPECT_FALSE(PostMessageA(hWnd, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(hWnd, GWLP_USERDATA), 0);
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

  gSeen.clear();
  EXPECT_TRUE(DestroyWindow(parent));
  ASSERT_EQ(gSeen.size(), 4u);
  EXPECT_TRUE(gSeen[0].hWnd == parent && gSeen[0].message == WM_DESTROY);
  EXPECT_TRUE(gSeen[1].hWnd == child && gSeen[1].message == WM_DESTROY);
  EXPECT_TRUE(gSeen[2].hWnd == child && gSeen[2].message == WM_NCDESTROY);
  EXPECT_TRUE(gSeen[3].hWnd == parent && gSeen[3].message == WM_NCDESTROY);
  EXPECT_FALSE(IsWindow(child));
}

TEST_F(UserWindows, OnlyTheOwningThreadDestroys) {
  const HWND hWnd = Create();
  BOOL destroyed = TRUE;
  DWORD error = 0;
  std::thread([&] {
    destroyed = DestroyWindow(hWnd);
    error = GetLastError();
  }).join();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(IsWindow(hWnd));
  DestroyWindow(hWnd);
}

TEST_F(UserWindows, WindowValuesAnswerWithThePreviousValue) {
  const HWND hWnd = Create();
  SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
  EXPECT_EQ(SetWindowLongPtrA(hWnd, GWLP_USERDATA, 42), 0);
  EXPECT_EQ(SetWindowLongPtrA(hWnd, GWLP_USERDATA, 43), 42);
  EXPECT_EQ(GetWindowLongPtrA(hWnd, GWLP_USERDATA), 43);
  EXPECT_EQ(GetWindowLongPtrA(hWnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(RecordingProc));

  // Replacing the procedure routes the next message to the new one.
  const auto previous = SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
  EXPECT_EQ(previous, reinterpret_cast<LONG_PTR>(RecordingProc));
  gSeen.clear();
  SendMessageA(hWnd, WM_USER, 0, 0);
  EXPECT_TRUE(gSeen.empty());

  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(hWnd, 64), 0) << "a class without extra bytes has no index 64";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  DestroyWindow(hWnd);
}

TEST(UserBadHandles, StaleForgedAndNullHandlesAreRefusedWithoutCrashing) {
  int onTheStack = 0;
  const HWND forged[] = {nullptr, reinterpret_cast<HWND>(0x1234), reinterpret_cast<HWND>(-1),
                         reinterpret_cast<HWND>(&onTheStack)};
  for (const HWND hWnd : forged) {
    SCOPED_TRACE(reinterpret_cast<uintptr_t>(hWnd));
    char text[8] = "x";
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_FALSE(DestroyWindow(hWnd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessageA(hWnd, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(SetWindowTextA(hWnd, "t"));
    EXPECT_EQ(GetWindowTextA(hWnd, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(SetDlgItemTextA(hWnd, 404, "t"));
    EXPECT_EQ(GetDlgItemTextA(hWnd, 404, text, sizeof text), 0u);
    EXPECT_EQ(GetDlgItem(hWnd, 1), nullptr);
    EXPECT_EQ(SetTimer(hWnd ? hWnd : reinterpret_cast<HWND>(0x10), 1, 10, nullptr), 0u);
    EXPECT_FALSE(ShowWindow(hWnd, SW_SHOW));
    MSG msg{};
    msg.hwnd = hWnd;
    msg.message = WM_USER;
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    if (hWnd != nullptr && hWnd != reinterpret_cast<HWND>(-1)) {  // -1 filters thread messages
      EXPECT_FALSE(PostMessageA(hWnd, WM_USER, 0, 0));
      EXPECT_EQ(GetMessageA(&msg, hWnd, 0, 0), -1) << "a filter on a window that is not ours is an error";
    }
  }
  // A forged timer message must never make the dispatcher jump to its lParam.
  MSG timer{nullptr, WM_TIMER, 7, 0x1234, 0, {0, 0}};
  EXPECT_EQ(DispatchMessageA(&timer), 0);
}

}  // namespace
