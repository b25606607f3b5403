// Dialogs from the library's own resources, control texts, icons and cursors.
#include "windows.h"

#include <gtest/gtest.h>

#include <string>

namespace {

LPARAM g_init_param = 0;
int g_init_count = 0;
int g_cancel_count = 0;

INT_PTR CALLBACK ProgressDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ++g_init_count;
    g_init_param = lParam;
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    ++g_cancel_count;
    EndDialog(hDlg, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

std::string ItemText(HWND dialog, int id) {
  char buffer[64];
  GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
  return buffer;
}

class UserDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { library_ = LoadLibraryA("ZEMHTTP.DLL"); }

  void SetUp() override {
    ASSERT_NE(library_, nullptr) << "ZEMHTTP.DLL did not load: error " << GetLastError();
    g_init_param = 0;
    g_init_count = 0;
    g_cancel_count = 0;
  }

  HWND CreateProgress() {
    return CreateDialogParamA(library_, MAKEINTRESOURCEA(101), nullptr, ProgressDialogProc, 0x5A5A);
  }

  static HMODULE library_;
};
HMODULE UserDialogs::library_ = nullptr;

TEST_F(UserDialogs, ProgressDialogComesWithItsControlsAndInitialTexts) {
  ASSERT_EQ(GetModuleHandleA("ZEMHTTP.DLL"), library_);
  const HWND dialog = CreateProgress();
  ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
  EXPECT_EQ(g_init_count, 1);
  EXPECT_EQ(g_init_param, 0x5A5A) << "WM_INITDIALOG carries the caller's parameter";
  EXPECT_EQ(ItemText(dialog, 404), "Initializing");
  EXPECT_EQ(ItemText(dialog, 505), "Please Wait");
  EXPECT_EQ(ItemText(dialog, IDOK), "OK");
  EXPECT_EQ(ItemText(dialog, IDCANCEL), "Cancel");
  const HWND icon = GetDlgItem(dialog, 303);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)),
            LoadIconA(library_, MAKEINTRESOURCEA(303)))
      << "the icon control shows the library's icon 303";
  DestroyWindow(dialog);
  EXPECT_FALSE(IsWindow(icon)) << "the controls go with their dialog";
}

TEST_F(UserDialogs, ControlTextsChangeWithoutTouchingTheLastError) {
  const HWND dialog = CreateProgress();
  ASSERT_NE(dialog, nullptr);
  SetLastError(12029);
  EXPECT_TRUE(SetDlgItemTextA(dialog, 404, "Internet Connect"));
  EXPECT_TRUE(SetDlgItemTextA(dialog, 505, "-- Started"));
  EXPECT_EQ(GetLastError(), 12029u) << "a status display would lose the network error it reports next";
  EXPECT_EQ(ItemText(dialog, 404), "Internet Connect");
  EXPECT_EQ(ItemText(dialog, 505), "-- Started");
  EXPECT_EQ(GetLastError(), 12029u);

  // A short buffer gets what fits and a terminating NUL.
  char small[5] = "xxxx";
  EXPECT_EQ(GetDlgItemTextA(dialog, 404, small, sizeof small), 4u);
  EXPECT_STREQ(small, "Inte");
  EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dialog, 404)), 16);
  EXPECT_TRUE(SetDlgItemTextA(dialog, 404, nullptr)) << "a null text empties the control";
  EXPECT_EQ(ItemText(dialog, 404), "");

  EXPECT_FALSE(SetDlgItemTextA(dialog, 999, "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
  EXPECT_FALSE(SetDlgItemTextA(dialog, 404, reinterpret_cast<LPCSTR>(0x10)));
  EXPECT_EQ(ItemText(dialog, 404), "") << "an unusable text pointer changes nothing";
  DestroyWindow(dialog);
}

TEST_F(UserDialogs, CloseBecomesCancelAndEndDialogDestroys) {
  const HWND dialog = CreateProgress();
  ASSERT_NE(dialog, nullptr);
  SendMessageA(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(dialog)) << "a dialog's close is a Cancel, not a destroy";
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, dialog, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(LOWORD(msg.wParam), IDCANCEL) << "a loop watching for Cancel must see the posted command";
  EXPECT_EQ(reinterpret_cast<HWND>(msg.lParam), GetDlgItem(dialog, IDCANCEL));
  DispatchMessageA(&msg);
  EXPECT_EQ(g_cancel_count, 1);
  EXPECT_FALSE(IsWindow(dialog)) << "EndDialog destroys a modeless dialog";
}

TEST_F(UserDialogs, PasswordDialogHasItsTitleTextsAndFields) {
  const HWND dialog = CreateDialogParamA(library_, "#601", nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
  char title[32];
  GetWindowTextA(dialog, title, sizeof title);
  EXPECT_STREQ(title, "Passwords");
  EXPECT_EQ(ItemText(dialog, 615), "UserName");
  EXPECT_EQ(ItemText(dialog, 612), "Password");
  EXPECT_EQ(ItemText(dialog, 613), "New Password");
  EXPECT_EQ(ItemText(dialog, 614), "Verify New Password");
  for (const int field : {605, 602, 603, 604, 313, IDOK}) {
    EXPECT_NE(GetDlgItem(dialog, field), nullptr) << "control " << field << " is missing";
  }
  EXPECT_EQ(ItemText(dialog, 602), "");
  DestroyWindow(dialog);
}

TEST_F(UserDialogs, MissingTemplatesAndIconsAreReported) {
  EXPECT_EQ(CreateDialogParamA(library_, MAKEINTRESOURCEA(999), nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(LoadIconA(library_, MAKEINTRESOURCEA(999)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  // The platform library carries no resources at all.
  const HMODULE platform = LoadLibraryA("ZEMSYS.DLL");
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(CreateDialogParamA(platform, MAKEINTRESOURCEA(101), nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
  FreeLibrary(platform);
}

TEST(UserIcons, StockAndModuleImagesArePlainStableHandles) {
  const HICON application = LoadIconA(nullptr, IDI_APPLICATION);
  const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
  ASSERT_NE(application, nullptr);
  ASSERT_NE(arrow, nullptr);
  EXPECT_NE(application, arrow) << "icon and cursor 32512 are different images";
  EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION), application);
  EXPECT_TRUE(DestroyIcon(application));
  EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION), application) << "a shared icon survives DestroyIcon";
  EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(0x1234)));
  EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
}

}  // namespace
