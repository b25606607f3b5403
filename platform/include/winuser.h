// User services: window classes, windows and child controls, dialogs from a
// module's resources, per-thread message queues and the message loop, timers,
// icons and cursors.
//
// There is no display. Windows are records in a process-wide registry: a
// handle is a number looked up there, so a stale or foreign handle is answered
// with ERROR_INVALID_WINDOW_HANDLE, never followed. A window belongs to the
// thread that created it; its procedure runs on that thread, except for the
// built-in control classes, whose text messages any thread may serve.
#ifndef ZEM_WINUSER_H
#define ZEM_WINUSER_H

#include "windef.h"
#include "winerror.h"

// Error codes of the user services beyond those of winerror.h.
#ifndef ERROR_TLW_WITH_WSCHILD
#define ERROR_TLW_WITH_WSCHILD 1406L
#endif
#ifndef ERROR_CANNOT_FIND_WND_CLASS
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#endif
#ifndef ERROR_WINDOW_OF_OTHER_THREAD
#define ERROR_WINDOW_OF_OTHER_THREAD 1408L
#endif
#ifndef ERROR_CLASS_HAS_WINDOWS
#define ERROR_CLASS_HAS_WINDOWS 1412L
#endif
#ifndef ERROR_INVALID_ICON_HANDLE
#define ERROR_INVALID_ICON_HANDLE 1414L
#endif
#ifndef ERROR_INVALID_THREAD_ID
#define ERROR_INVALID_THREAD_ID 1444L
#endif
#ifndef ERROR_NOT_ENOUGH_QUOTA
#define ERROR_NOT_ENOUGH_QUOTA 1816L
#endif

// ---- procedures and records ----
typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK *DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK *TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

typedef struct tagWNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
} WNDCLASSA, *PWNDCLASSA, *LPWNDCLASSA;

typedef struct tagWNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
} WNDCLASSEXA, *PWNDCLASSEXA, *LPWNDCLASSEXA;

typedef struct tagCREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;  // GetTickCount's time base
  POINT pt;
} MSG, *PMSG, *LPMSG;

#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))

// ---- messages ----
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define STM_SETICON 0x0170
#define STM_GETICON 0x0171

// ---- window styles ----
#define WS_OVERLAPPED 0x00000000L
#define WS_TABSTOP 0x00010000L
#define WS_GROUP 0x00020000L
#define WS_SYSMENU 0x00080000L
#define WS_BORDER 0x00800000L
#define WS_CAPTION 0x00C00000L
#define WS_VISIBLE 0x10000000L
#define WS_CHILD 0x40000000L
#define WS_POPUP 0x80000000L
#define CW_USEDEFAULT ((int)0x80000000)

// Control styles the library's dialog templates use.
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define SS_LEFT 0x00000000L
#define SS_ICON 0x00000003L
#define ES_LEFT 0x00000000L
#define ES_PASSWORD 0x00000020L
#define ES_AUTOHSCROLL 0x00000080L
#define DS_MODALFRAME 0x00000080L

// ---- window data ----
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
// A dialog's own slots, in the extra bytes every dialog window carries.
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC (DWLP_MSGRESULT + (int)sizeof(LRESULT))
#define DWLP_USER (DWLP_DLGPROC + (int)sizeof(DLGPROC))
#define DLGWINDOWEXTRA 30

// ---- commands, boxes, show states ----
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONERROR 0x00000010L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONINFORMATION 0x00000040L

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

// ---- message retrieval ----
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002
#define USER_TIMER_MINIMUM 0x0000000A
#define USER_TIMER_MAXIMUM 0x7FFFFFFF

// ---- stock icons and cursors ----
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDI_ERROR MAKEINTRESOURCEA(32513)
#define IDI_WARNING MAKEINTRESOURCEA(32515)
#define IDI_INFORMATION MAKEINTRESOURCEA(32516)

// ---- a module's resources ----
// A module that carries icons and dialog templates exports one
// ZEM_RESOURCE_TABLE under this symbol. LoadIconA and CreateDialogParamA read
// the table of the module handle they are given (GetModuleHandleA(NULL), the
// main program, when that is null).
typedef struct tagZEM_DIALOG_CONTROL {
  WORD wId;
  LPCSTR pszClass;  // "BUTTON", "STATIC" or "EDIT"
  LPCSTR pszText;   // initial text, may be null
  DWORD dwStyle;    // WS_CHILD and WS_VISIBLE are added
  WORD wIconId;     // SS_ICON controls: the module's icon they show
} ZEM_DIALOG_CONTROL;

typedef struct tagZEM_DIALOG_TEMPLATE {
  WORD wId;
  LPCSTR pszTitle;
  DWORD dwStyle;
  const ZEM_DIALOG_CONTROL *pControls;
  UINT nControls;
} ZEM_DIALOG_TEMPLATE;

typedef struct tagZEM_RESOURCE_TABLE {
  const WORD *pIconIds;
  UINT nIcons;
  const ZEM_DIALOG_TEMPLATE *pDialogs;
  UINT nDialogs;
} ZEM_RESOURCE_TABLE;
#define ZEM_RESOURCE_TABLE_SYMBOL "ZemResourceTable"

// ---- window classes ----
// Class names are matched without regard to case and are unique in the
// process: a second registration fails with ERROR_CLASS_ALREADY_EXISTS.
// "BUTTON", "STATIC" and "EDIT" exist from the start.
WINUSERAPI ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass);
WINUSERAPI ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *lpWndClass);
WINUSERAPI BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);

// ---- windows ----
WINUSERAPI HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                                       int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam);
#define CreateWindowA(cls, name, style, x, y, w, h, parent, menu, inst, param) \
  CreateWindowExA(0L, cls, name, style, x, y, w, h, parent, menu, inst, param)
// Only the owning thread may destroy a window (ERROR_ACCESS_DENIED otherwise).
// WM_DESTROY goes to the window and then its children, WM_NCDESTROY to the
// children and then the window; its timers and queued messages go with it.
WINUSERAPI BOOL WINAPI DestroyWindow(HWND hWnd);
WINUSERAPI BOOL WINAPI IsWindow(HWND hWnd);
WINUSERAPI BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd);
WINUSERAPI HWND WINAPI GetParent(HWND hWnd);
WINUSERAPI DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);
// A successful Set does not clear the last error, so a previous value of 0
// is told from a failure by calling SetLastError(0) first.
WINUSERAPI LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex);
WINUSERAPI LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
WINUSERAPI LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
WINUSERAPI LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Nothing is drawn: ShowWindow records WS_VISIBLE and answers whether it was
// set before; UpdateWindow only checks the handle.
WINUSERAPI BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
WINUSERAPI BOOL WINAPI UpdateWindow(HWND hWnd);

// ---- texts and controls ----
// A successful text call leaves the caller's last error as it was.
WINUSERAPI BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString);
WINUSERAPI int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
WINUSERAPI int WINAPI GetWindowTextLengthA(HWND hWnd);
WINUSERAPI HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
WINUSERAPI int WINAPI GetDlgCtrlID(HWND hWnd);
WINUSERAPI BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
WINUSERAPI UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);

// ---- dialogs ----
// A modeless dialog from the template MAKEINTRESOURCEA(id) (or "#id") of
// hInstance's resource table, with its controls and their texts; the dialog
// procedure receives WM_INITDIALOG with dwInitParam. Closing it turns into
// WM_COMMAND IDCANCEL for the dialog procedure; EndDialog destroys it.
WINUSERAPI HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam);
#define CreateDialogA(inst, name, parent, proc) CreateDialogParamA(inst, name, parent, proc, 0L)
WINUSERAPI BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
WINUSERAPI LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);

// ---- messages and the loop ----
// Each thread has its own queue, made at its first call of a user service.
// A posted message carries GetTickCount() of its posting; a queue holds at
// most 10000 posted messages (ERROR_NOT_ENOUGH_QUOTA beyond).
WINUSERAPI BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
WINUSERAPI BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
WINUSERAPI void WINAPI PostQuitMessage(int nExitCode);
// Sent to another thread's window, the message waits in that thread's queue
// until the thread next retrieves messages; the sender serves messages sent
// to itself meanwhile. The built-in controls answer at once on any thread.
// A sender whose target thread ends gets 0.
WINUSERAPI LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Returns 0 for WM_QUIT, -1 for an unusable window filter or message pointer.
WINUSERAPI BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
WINUSERAPI BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
WINUSERAPI BOOL WINAPI TranslateMessage(const MSG *lpMsg);
WINUSERAPI LRESULT WINAPI DispatchMessageA(const MSG *lpMsg);
// The time stamp of the last message this thread retrieved, 0 before the
// first one.
WINUSERAPI LONG WINAPI GetMessageTime(void);

// ---- timers ----
// A due timer yields WM_TIMER when its thread's queue holds nothing else, so
// a waiting GetMessageA wakes for it; one message per expiry, however late
// the loop comes. A window's timers are set by its own thread
// (ERROR_ACCESS_DENIED otherwise) and end with the window. An unknown timer
// makes KillTimer fail with ERROR_INVALID_PARAMETER.
WINUSERAPI UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
WINUSERAPI BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// ---- message boxes, icons, cursors ----
// Writes "caption: text" to standard error and answers with the box's first
// button (IDOK for MB_OK and MB_OKCANCEL).
WINUSERAPI int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
// Icons and cursors are plain handles: the same resource gives the same
// handle every time, and DestroyIcon leaves it usable.
WINUSERAPI HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
WINUSERAPI HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
WINUSERAPI BOOL WINAPI DestroyIcon(HICON hIcon);

#endif  // ZEM_WINUSER_H
