// The library's own resources: the upload icon, the progress dialog a caller
// may show during a run, and the password dialog.
#include "windows.h"

namespace {

constexpr WORD kUploadIcon = 303;

constexpr WORD kProgressDialog = 101;
constexpr WORD kProgressIconControl = 303;
constexpr WORD kStepText = 404;    // receives the name of the run's step
constexpr WORD kResultText = 505;  // receives the name of the run's result

constexpr WORD kPasswordDialog = 601;
constexpr WORD kPasswordIconControl = 313;

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kEditStyle = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;

const WORD kIcons[] = {kUploadIcon};

const ZEM_DIALOG_CONTROL kProgressControls[] = {
    {IDOK, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {IDCANCEL, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0},
    {kProgressIconControl, "STATIC", nullptr, SS_ICON, kUploadIcon},
    {kStepText, "STATIC", "Initializing", SS_LEFT, 0},
    {kResultText, "STATIC", "Please Wait", SS_LEFT, 0},
};

const ZEM_DIALOG_CONTROL kPasswordControls[] = {
    {615, "STATIC", "UserName", SS_LEFT, 0},
    {612, "STATIC", "Password", SS_LEFT, 0},
    {613, "STATIC", "New Password", SS_LEFT, 0},
    {614, "STATIC", "Verify New Password", SS_LEFT, 0},
    {605, "EDIT", "", kEditStyle, 0},
    {602, "EDIT", "", kEditStyle | ES_PASSWORD, 0},
    {603, "EDIT", "", kEditStyle | ES_PASSWORD, 0},
    {604, "EDIT", "", kEditStyle | ES_PASSWORD, 0},
    {kPasswordIconControl, "STATIC", nullptr, SS_ICON, kUploadIcon},
    {IDOK, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
};

template <typename T, size_t N>
constexpr UINT CountOf(const T (&)[N]) {
  return static_cast<UINT>(N);
}

const ZEM_DIALOG_TEMPLATE kDialogs[] = {
    {kProgressDialog, "ZEM Data Service", kDialogStyle, kProgressControls, CountOf(kProgressControls)},
    {kPasswordDialog, "Passwords", kDialogStyle, kPasswordControls, CountOf(kPasswordControls)},
};

}  // namespace

// Read by LoadIconA and CreateDialogParamA for the library's module handle
// (GetModuleHandleA("ZEMHTTP.DLL")); the name is ZEM_RESOURCE_TABLE_SYMBOL.
extern "C" ZEM_EXPORT const ZEM_RESOURCE_TABLE ZemResourceTable = {kIcons, CountOf(kIcons), kDialogs, CountOf(kDialogs)};
