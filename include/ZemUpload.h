/// @file ZemUpload.h
/// The upload task interface: plain exported functions that upload one block of
/// data (the inquiry record) per task to an HTTP server and hand the server's
/// answer back to the caller.
///
/// @code
///   void *pvData = record;  void *pvAnswer = NULL;
///   ScraAddNewDoc(&pvData, &pvAnswer, cbRecord, 0, 7, 0);      // task 7
///   ScSetConnStrings(7, SC_STR_HOST_NAME, "inquiry.example");
///   ScSetConnStrings(7, SC_STR_APP_NAME, "/cgi/inquiry");
///   ScraRunCompany(7);                                        // synchronous by default
///   ... pvAnswer now points at the answer (NUL-terminated) ...
///   ScraWriteLogs(7, SC_LOG_ALL, NULL);                       // appends to "ScLogs.TXT"
///   ScraCloseTask(7);                                         // frees the answer too
/// @endcode
///
/// A run leaves its task in the list in both run modes: the caller reads the
/// answer and the logs, then releases the task with ScraCloseTask.
///
/// Layout of REQUEST_CONTEXT. The record is byte-packed and its field offsets
/// are part of the interface: callers read and write fields through the
/// pointer ScQueryRqCtxPtr returns. The documented table is that of a 32-bit
/// build (471 bytes). On a 64-bit build every field that holds a handle, a
/// pointer or a caller's value (dwCallerValue, pvNotifyData1, pvNotifyData2)
/// takes 8 bytes, every other field keeps its width, and the offsets follow
/// from the order (603 bytes). Both layouts are checked at compile time below;
/// scripts/check-32bit-layout.sh compiles this header as 32-bit code.
///
/// Do not take the address of a field of the packed record (it may be
/// misaligned): copy the field to a local, work on the local, copy it back.
#ifndef ZEM_ZEMUPLOAD_H
#define ZEM_ZEMUPLOAD_H

#include <stddef.h>

#include "ZemApi.h"
#include "ZemNotify.h"
#include "windows.h"
#include "wininet.h"

/// @name Steps (nStep)
/// The step a task has reached, shown by name in control 404 of the record's
/// window. Steps 0, 10 and 12 are named but never set.
///@{
#define SC_STEP_INITIALIZATION 0    ///< "Initialization"
#define SC_STEP_OPENING_TASK 1      ///< "Opening Task"
#define SC_STEP_CREATE_RECORDS 2    ///< "Create Records"
#define SC_STEP_INTERNET_OPEN 3     ///< "Internet Open"
#define SC_STEP_INTERNET_CONNECT 4  ///< "Internet Connect"
#define SC_STEP_OPEN_REQUEST 5      ///< "Internet Open Request"
#define SC_STEP_SENDING_REQUEST 6   ///< "Sending Request"
#define SC_STEP_RETRY_SENDING 7     ///< "Retry Sending Request Retry"
#define SC_STEP_RECEIVING_HEADER 8  ///< "Receiving Header"
#define SC_STEP_RECEIVING_DATA 9    ///< "Receiving Data"
#define SC_STEP_WRITE_DATA 10       ///< "Write Data"
#define SC_STEP_CLOSING 11          ///< "Closing"
#define SC_STEP_CLOSED 12           ///< "Closed"
///@}

/// @name Result states (nResult)
/// The state of a task's run, shown by name in control 505 of the record's
/// window. States 0, 1 and 4 to 9 are named but never set.
///@{
#define SC_RESULT_NOT_STARTED 0     ///< "Not Started"
#define SC_RESULT_INITIALIZED 1     ///< "Initialized"
#define SC_RESULT_STARTED 2         ///< "Started"
#define SC_RESULT_PROCESSING 3      ///< "Processing"
#define SC_RESULT_TIMED_OUT 4       ///< "Timed Out"
#define SC_RESULT_BAD_PASSWORD 5    ///< "Bad Password"
#define SC_RESULT_EXPIRED_PASSWORD 6///< "Expired Password"
#define SC_RESULT_NEED_FORCED_LOGOUT 7///< "Need Forced Logout"
#define SC_RESULT_SYSTEM_TIMED_OUT 8///< "System Timed Out"
#define SC_RESULT_SYSTEM_PARTIAL 9  ///< "System Partial"
#define SC_RESULT_SUCCESS 10        ///< "Success"
#define SC_RESULT_FAILED 11         ///< "Failed"
///@}

/// @name Outcome classes
/// dwResultFlags of a task by the status code of its answer, reported with
/// NOTIFY_RELEASED (a success as 0).
///@{
#define SC_OUTCOME_SUCCESS 0x00000001UL        ///< 200-202, 204-206
#define SC_OUTCOME_REDIRECT 0x18000140UL       ///< 300-305, 400
#define SC_OUTCOME_DENIED 0x18000120UL         ///< 401-404
#define SC_OUTCOME_SERVER 0x220000C0UL         ///< 405-417, 500-505
#define SC_OUTCOME_NO_DATA 0x22000120UL        ///< the task was created without data
#define SC_OUTCOME_OPEN_FAILED 0x12000040UL    ///< no internet session
#define SC_OUTCOME_OPEN_RESPONSE 0x10000340UL  ///< asynchronous open failed with a server text
///@}

/// @name ScSetConnStrings selectors
/// The record's field each text setting replaces.
///@{
#define SC_STR_USER_AGENT 0     ///< szUserAgent, also the referrer text of the request
#define SC_STR_FILE_NAME 1      ///< pszFileName, the object of PUT; "dir/" then "a.txt" joins
#define SC_STR_HOST_NAME 2      ///< pszHostName and the "HOST: " header
#define SC_STR_HTTP_VERSION 3   ///< szHttpVersion
#define SC_STR_VERB 4           ///< szVerb
#define SC_STR_ACCESS_CHAR 5    ///< chAccessType: "0", "1", "3" or "4"
#define SC_STR_PROXY_CFG 6      ///< pszProxyCfg: method letters of "XMWJI3041"
#define SC_STR_PROXY_NAMES 7    ///< pszProxyNames, the named proxies
#define SC_STR_PROXY_BYPASS 8   ///< pszProxyBypass, the proxy bypass list
#define SC_STR_PROXY_USER_AGENT 9  ///< pszProxyUserAgent, set as a connection option
#define SC_STR_PROXY_USER 10    ///< pszProxyUser
#define SC_STR_PROXY_PASSWORD 11  ///< pszProxyPassword
#define SC_STR_USER_NAME 12     ///< also 14
#define SC_STR_PASSWORD 13      ///< also 15
#define SC_STR_COOKIE 16        ///< pszCookie, kept and not sent
#define SC_STR_APP_NAME 17      ///< pszAppName, the object of every verb but PUT
#define SC_STR_ADD_HEADER 18    ///< next free header slot of 2..9
///@}

/// @name ScSetConnDWord selectors
/// The record's field each number setting replaces.
///@{
#define SC_DW_HTTP_FLAGS 0      ///< dwHttpFlags
#define SC_DW_INET_FLAGS 1      ///< dwInetFlags
#define SC_DW_PORT 2            ///< nPort (low 16 bits)
#define SC_DW_SERVICE 3         ///< dwService
#define SC_DW_DATA_LENGTH 4     ///< cbRequestData; no more than the data given to ScraAddNewDoc is sent
#define SC_DW_ACCESS_TYPE 5     ///< dwAccessType
#define SC_DW_ASYNC 6           ///< bAsync
///@}

/// @name ScraWriteLogs flags
/// Parts of the report, always written in this order.
///@{
#define SC_LOG_TITLE 0x0008          ///< the title line with szUserAgent
#define SC_LOG_DATE 0x0020           ///< today's date
#define SC_LOG_TIME 0x0010           ///< the time of day
#define SC_LOG_CONNECTION 0x2000     ///< host, object and connection settings
#define SC_LOG_STATUS 0x0001         ///< the status log lines
#define SC_LOG_HEADER 0x0002         ///< the response header text
#define SC_LOG_DUMPS 0x0004          ///< data dumps, as the two flags below select
#define SC_LOG_DUMP_REQUEST 0x0100   ///< with SC_LOG_DUMPS
#define SC_LOG_DUMP_RESPONSE 0x1000  ///< with SC_LOG_DUMPS
#define SC_LOG_ALL 0x313F            ///< every part
///@}

/// @name Private messages of the upload window
///@{
#define SC_WM_START_CONNECT 0x0A22  ///< opens the session and starts the connection
#define SC_WM_SEND_REQUEST 0x0A24   ///< sends the request
///@}

#define SC_HEADER_SLOTS 10  ///< request header slots of a task (ppszHeaders)
#define SC_MSG_SIZE 4096  ///< bytes of pszMsg
#define SC_MSG_LINE_MAX 80  ///< characters ScraGetMsgStr copies (the buffer holds 81)

#pragma pack(push, 1)
/// The record of one upload task (byte-packed; see the layout above). The
/// library creates it with its defaults in ScraAddNewDoc and frees it in
/// ScraCloseTask; callers reach it through ScQueryRqCtxPtr.
typedef struct tagREQUEST_CONTEXT {
  DWORD uDocument;            ///< the task's document number
  DWORD_PTR dwCallerValue;    ///< the caller's, kept
  DWORD dwReserved0;  ///< not used by the library
  BOOL bAutodial;             ///< the task owns a dial-up connection; doubles the window time-out
  BOOL bAsync;                ///< run through the upload window and the status callback
  int nStep;                  ///< SC_STEP_*
  int nResult;                ///< SC_RESULT_*
  HWND hWnd;                  ///< controls 404 and 505 show step and result
  DWORD dwReserved1;  ///< not used by the library
  DWORD dwReserved2;  ///< not used by the library
  HICON hIcon;                ///< class icon of the upload window
  HINTERNET hInternetIn;      ///< a caller's session handle, used instead of opening one
  HINTERNET hInternet;  ///< internet session handle
  HINTERNET hConnect;  ///< connection handle
  HINTERNET hRequest;  ///< request handle
  HMODULE hModule;            ///< instance of the upload window class
  ZEMNOTIFYPROC pfnNotify;  ///< the task's notify procedure (ScraSetClassNotifyProc), or null
  LPVOID pvNotifyData1;       ///< first argument of pfnNotify
  INT_PTR pvNotifyData2;      ///< third argument of pfnNotify
  CHAR szUserAgent[80];       ///< referrer text of the request and title of the report
  LPSTR pvRespHeaders;        ///< raw header text of the last answer
  LPSTR pvTraceHeaders;       ///< header text kept when no status code arrived
  DWORD cbRespHeaders;  ///< length of pvRespHeaders
  DWORD cbContentLength;  ///< content length the server reported
  DWORD cbTraceHeaders;  ///< length of pvTraceHeaders
  LPVOID pvRequestData;       ///< the library's copy of the data to upload
  DWORD cbRequestData;  ///< bytes of pvRequestData to send (SC_DW_DATA_LENGTH)
  LPVOID *ppResponse;         ///< the caller's pointer variable that receives the answer
  DWORD cbResponse;  ///< length of the published answer
  DWORD dwStatusCode;  ///< HTTP status code of the last request
  DWORD dwRetryFlags;         ///< bit 0: a status code asked for the request to be sent again
  DWORD dwLastError;          ///< error of the internet open; result of the thread wait
  HANDLE hThread;             ///< a caller's thread to be waited for at close
  DWORD dwThreadId;  ///< cleared together with hThread
  DWORD dwAccessType;         ///< INTERNET_OPEN_TYPE_*
  CHAR chAccessType;          ///< '0', '1', '3' or '4'
  LPSTR pszProxyCfg;  ///< proxy configuration method letters (SC_STR_PROXY_CFG)
  LPSTR pszProxyNames;  ///< named proxies
  LPSTR pszProxyBypass;  ///< proxy bypass list
  LPSTR pszProxyUserAgent;  ///< user agent set as a connection option
  LPSTR pszProxyUser;  ///< proxy user name
  LPSTR pszProxyPassword;  ///< proxy password
  CHAR szVerb[16];  ///< HTTP verb, at most 15 characters; default "POST"
  CHAR szHttpVersion[128];  ///< HTTP version text, at most 127 characters; default "HTTP/1.1"
  LPSTR pszHostName;  ///< server host name
  LPSTR pszAppName;  ///< object of every verb but PUT
  LPSTR pszFileName;  ///< object of PUT
  LPSTR pszMsg;               ///< SC_MSG_SIZE bytes of scratch text
  LPSTR pszCookie;            ///< kept, not sent
  LPSTR pszUserName;  ///< user name of the connection
  LPSTR pszPassword;  ///< password of the connection
  LPSTR pszReserved1;  ///< freed at release, set by nothing in the library
  LPSTR pszReserved2;  ///< freed at release, set by nothing in the library
  LPSTR *ppszHeaders;         ///< SC_HEADER_SLOTS header texts, sent up to the first empty slot
  WORD nPort;  ///< server port; default 443
  DWORD dwService;  ///< service of the connection; default 3 (INTERNET_SERVICE_HTTP)
  DWORD dwInetFlags;          ///< for InternetOpenA and InternetConnectA
  DWORD dwHttpFlags;          ///< for HttpOpenRequestA
  DWORD dwResultFlags;        ///< SC_OUTCOME_*
  LPSTR *ppszStatusLines;  ///< the status log lines (ScraGetMsgStr)
  int nStatusCapacity;  ///< slots allocated in ppszStatusLines
  int nStatusLines;  ///< status log lines held
  DWORD dwLastStatusError;  ///< last error code written to the status log
  int nStatusErrorRepeats;  ///< repetitions of that error not yet written
  DWORD dwSendMark;  ///< 5 once the asynchronous send started; not read
  BOOL bClosed;               ///< the handles are closed
} REQUEST_CONTEXT,
    *PREQUEST_CONTEXT;  ///< pointer to an upload task record
#pragma pack(pop)

/// One node of the process-wide task list (not packed).
typedef struct tagSC_TASK {
  struct tagSC_TASK *pNext;  ///< next node, null at the tail
  HWND hWnd;                  ///< the task's upload window once created
  REQUEST_CONTEXT *pCtx;  ///< the task's record
  DWORD uDocument;  ///< the document number, the task's key
  int bRunning;               ///< the upload window's message loop runs
  DWORD dwSpare1;  ///< cleared when an asynchronous run starts
  DWORD dwSpare2;  ///< cleared when an asynchronous run starts
} SC_TASK,
    *PSC_TASK;  ///< pointer to a task list node

/// @cond
// The documented layout, checked at compile time.
#ifdef __cplusplus
#define ZEM_UPLOAD_LAYOUT(expr, what) static_assert(expr, what)
#else
#define ZEM_UPLOAD_LAYOUT(expr, what) _Static_assert(expr, what)
#endif
#define ZEM_UPLOAD_AT(field, at32, at64) \
  ZEM_UPLOAD_LAYOUT(offsetof(REQUEST_CONTEXT, field) == (sizeof(void *) == 4 ? (at32) : (at64)), \
                    "REQUEST_CONTEXT." #field " is not at its documented offset")

ZEM_UPLOAD_LAYOUT(sizeof(void *) == 4 || sizeof(void *) == 8, "pointers are 4 or 8 bytes");
ZEM_UPLOAD_LAYOUT(sizeof(REQUEST_CONTEXT) == (sizeof(void *) == 4 ? 471 : 603), "REQUEST_CONTEXT has the wrong size");
ZEM_UPLOAD_AT(uDocument, 0, 0);
ZEM_UPLOAD_AT(dwCallerValue, 4, 4);
ZEM_UPLOAD_AT(dwReserved0, 8, 12);
ZEM_UPLOAD_AT(bAutodial, 12, 16);
ZEM_UPLOAD_AT(bAsync, 16, 20);
ZEM_UPLOAD_AT(nStep, 20, 24);
ZEM_UPLOAD_AT(nResult, 24, 28);
ZEM_UPLOAD_AT(hWnd, 28, 32);
ZEM_UPLOAD_AT(dwReserved1, 32, 40);
ZEM_UPLOAD_AT(dwReserved2, 36, 44);
ZEM_UPLOAD_AT(hIcon, 40, 48);
ZEM_UPLOAD_AT(hInternetIn, 44, 56);
ZEM_UPLOAD_AT(hInternet, 48, 64);
ZEM_UPLOAD_AT(hConnect, 52, 72);
ZEM_UPLOAD_AT(hRequest, 56, 80);
ZEM_UPLOAD_AT(hModule, 60, 88);
ZEM_UPLOAD_AT(pfnNotify, 64, 96);
ZEM_UPLOAD_AT(pvNotifyData1, 68, 104);
ZEM_UPLOAD_AT(pvNotifyData2, 72, 112);
ZEM_UPLOAD_AT(szUserAgent, 76, 120);
ZEM_UPLOAD_AT(pvRespHeaders, 156, 200);
ZEM_UPLOAD_AT(pvTraceHeaders, 160, 208);
ZEM_UPLOAD_AT(cbRespHeaders, 164, 216);
ZEM_UPLOAD_AT(cbContentLength, 168, 220);
ZEM_UPLOAD_AT(cbTraceHeaders, 172, 224);
ZEM_UPLOAD_AT(pvRequestData, 176, 228);
ZEM_UPLOAD_AT(cbRequestData, 180, 236);
ZEM_UPLOAD_AT(ppResponse, 184, 240);
ZEM_UPLOAD_AT(cbResponse, 188, 248);
ZEM_UPLOAD_AT(dwStatusCode, 192, 252);
ZEM_UPLOAD_AT(dwRetryFlags, 196, 256);
ZEM_UPLOAD_AT(dwLastError, 200, 260);
ZEM_UPLOAD_AT(hThread, 204, 264);
ZEM_UPLOAD_AT(dwThreadId, 208, 272);
ZEM_UPLOAD_AT(dwAccessType, 212, 276);
ZEM_UPLOAD_AT(chAccessType, 216, 280);
ZEM_UPLOAD_AT(pszProxyCfg, 217, 281);
ZEM_UPLOAD_AT(pszProxyNames, 221, 289);
ZEM_UPLOAD_AT(pszProxyBypass, 225, 297);
ZEM_UPLOAD_AT(pszProxyUserAgent, 229, 305);
ZEM_UPLOAD_AT(pszProxyUser, 233, 313);
ZEM_UPLOAD_AT(pszProxyPassword, 237, 321);
ZEM_UPLOAD_AT(szVerb, 241, 329);
ZEM_UPLOAD_AT(szHttpVersion, 257, 345);
ZEM_UPLOAD_AT(pszHostName, 385, 473);
ZEM_UPLOAD_AT(pszAppName, 389, 481);
ZEM_UPLOAD_AT(pszFileName, 393, 489);
ZEM_UPLOAD_AT(pszMsg, 397, 497);
ZEM_UPLOAD_AT(pszCookie, 401, 505);
ZEM_UPLOAD_AT(pszUserName, 405, 513);
ZEM_UPLOAD_AT(pszPassword, 409, 521);
ZEM_UPLOAD_AT(pszReserved1, 413, 529);
ZEM_UPLOAD_AT(pszReserved2, 417, 537);
ZEM_UPLOAD_AT(ppszHeaders, 421, 545);
ZEM_UPLOAD_AT(nPort, 425, 553);
ZEM_UPLOAD_AT(dwService, 427, 555);
ZEM_UPLOAD_AT(dwInetFlags, 431, 559);
ZEM_UPLOAD_AT(dwHttpFlags, 435, 563);
ZEM_UPLOAD_AT(dwResultFlags, 439, 567);
ZEM_UPLOAD_AT(ppszStatusLines, 443, 571);
ZEM_UPLOAD_AT(nStatusCapacity, 447, 579);
ZEM_UPLOAD_AT(nStatusLines, 451, 583);
ZEM_UPLOAD_AT(dwLastStatusError, 455, 587);
ZEM_UPLOAD_AT(nStatusErrorRepeats, 459, 591);
ZEM_UPLOAD_AT(dwSendMark, 463, 595);
ZEM_UPLOAD_AT(bClosed, 467, 599);
#undef ZEM_UPLOAD_AT
#undef ZEM_UPLOAD_LAYOUT
/// @endcond

// ---- tasks ----
/// Creates task nDocument (1 or above, not in the list yet) with a copy of the
/// cbData bytes at *ppvData (zeros when ppvData or *ppvData is null). The
/// answer of a run is published in *ppvResponse (when ppvResponse is not null)
/// as a checked block the library owns until the task is released. Refused
/// (0) while another task has been neither run asynchronously nor released.
ZEMUPLOADAPI int WINAPI ScraAddNewDoc(LPVOID *ppvData, LPVOID *ppvResponse, DWORD cbData, DWORD_PTR dwCallerValue,
                                      int nDocument, INT_PTR pvNotifyData2);
/// The task's record, or null.
ZEMUPLOADAPI REQUEST_CONTEXT *WINAPI ScQueryRqCtxPtr(int nDocument);
/// The current value of the caller's response pointer, or the answer the
/// library keeps for a task without a writable response address; null when
/// there is neither.
ZEMUPLOADAPI LPVOID WINAPI ScQueryTuRspPtr(int nDocument);
/// One text setting (SC_STR_*); 1 when stored. Every setting adds a status line.
ZEMUPLOADAPI int WINAPI ScSetConnStrings(int nDocument, int nSelector, LPCSTR pszText);
/// One number setting (SC_DW_*); 1 when stored.
ZEMUPLOADAPI int WINAPI ScSetConnDWord(int nDocument, int nSelector, DWORD dwValue);
/// The task's notify procedure: called (pvNotifyData1, code, pvNotifyData2, value)
/// with NOTIFY_PROGRESS, NOTIFY_ERROR, NOTIFY_COMPLETE and NOTIFY_RELEASED.
ZEMUPLOADAPI void WINAPI ScraSetClassNotifyProc(ZEMNOTIFYPROC pfnNotify, LPVOID pvNotifyData1, INT_PTR pvNotifyData2,
                                               int nDocument);
/// Copies status line nLine (from 0) into pszBuffer: at most SC_MSG_LINE_MAX
/// characters and a NUL, so the buffer holds 81 bytes. 1 when copied.
ZEMUPLOADAPI int WINAPI ScraGetMsgStr(LPSTR pszBuffer, int nLine, int nDocument);
/// Releases the task: takes it out of the list, sends NOTIFY_RELEASED with the
/// outcome class (0 for a success), then frees every block, the published
/// answer included. 1 when released; 0 for an unknown task, and 0 with
/// ERROR_BUSY during the task's run (also from its notify procedure).
ZEMUPLOADAPI int WINAPI ScraCloseTask(int nDocument);

// ---- runs ----
/// Runs the task synchronously, or through the hidden upload window and its
/// message loop when bAsync is set (ScSetConnDWord SC_DW_ASYNC). Returns 1, or
/// for a synchronous run whose session or connection could not be opened the
/// error code. An asynchronous run counts its time-out from the time of the
/// message being handled (GetMessageTime), or from now on a thread that has
/// had no message. A task already in a run is not run again (ERROR_BUSY).
ZEMUPLOADAPI int WINAPI ScraRunCompany(int nDocument);
/// Opens nothing: stores 0 in *pdwError and returns null (a task's session is
/// opened by its run).
ZEMUPLOADAPI HINTERNET WINAPI ScOpenInternet(HWND hWnd, DWORD *pdwError);

// ---- logs ----
/// Appends a report of the task (SC_LOG_* parts) to pszPath, or to "ScLogs.TXT"
/// in the current folder when pszPath is null. 1 when the task exists.
ZEMUPLOADAPI int WINAPI ScraWriteLogs(int nDocument, DWORD dwFlags, LPCSTR pszPath);

#endif  // ZEM_ZEMUPLOAD_H
