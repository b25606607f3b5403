// The HTTP client object CZemHttp and the status text lookup.
//
// A CZemHttp holds everything one synchronous HTTP conversation needs: the
// target, the bodies, the three internet handles, the proxy settings record,
// the request-header list, the service log, the last error and the table of
// internet-library functions it binds at run time. Its fields are public so
// that callers (and the library's own parts) can inspect them; they keep the
// documented names and Hungarian notation.
//
// Widths: every DWORD is 32 bits; fields holding a handle or pointer are
// pointer-sized.
#ifndef ZEM_ZEMHTTP_H
#define ZEM_ZEMHTTP_H

#include <stddef.h>

#include "ZemNotify.h"
#include "windows.h"
#include "wininet.h"

#define ZEMHTTP_API __attribute__((visibility("default")))

// ---- verb table ----
// The eight constant texts a client's pszVerb points at: seven verbs and an
// empty end entry. pszVerb is never freed and never points at a caller's text.
#define ZEMHTTP_VERB_GET 0
#define ZEMHTTP_VERB_POST 1
#define ZEMHTTP_VERB_PUT 2
#define ZEMHTTP_VERB_HEAD 3
#define ZEMHTTP_VERB_OPTIONS 4
#define ZEMHTTP_VERB_DELETE 5
#define ZEMHTTP_VERB_TRACE 6
#define ZEMHTTP_VERB_COUNT 7
extern "C" ZEMHTTP_API const char *const ZemHttpVerbTable[ZEMHTTP_VERB_COUNT + 1];

// ---- proxy settings record ----
// Exchanged across the library boundary by address: the layout is binding
// (836 bytes, little-endian, no padding). Texts are NUL-terminated and
// zero-padded.
typedef struct tagZEMPROXYINFO {
  DWORD bInitialized;         // non-zero once the record holds settings
  DWORD szProxyCfg[12];       // method letters to try, one character code per slot, 0 after the last
  DWORD dwProxyAccessType;    // INTERNET_OPEN_TYPE_* for InternetOpenA: 0, 1, 3 or 4
  DWORD chProxyAccessType;    // method letter in use as a character code; 0 = none
  char szUsrAgt[128];         // user agent from the settings
  char szProxyUser[32];       // proxy user name
  char szPassWord[32];        // HTTP password from the settings
  char szUserName[32];        // HTTP user name from the settings
  char szProxyPswd[32];       // proxy password
  char szProxyNames[260];     // named proxy list
  char szProxyBypass[260];    // proxy bypass list
} ZEMPROXYINFO, *LPZEMPROXYINFO;

static_assert(sizeof(tagZEMPROXYINFO) == 836, "tagZEMPROXYINFO is 836 bytes");
static_assert(offsetof(tagZEMPROXYINFO, bInitialized) == 0, "bInitialized at 0");
static_assert(offsetof(tagZEMPROXYINFO, szProxyCfg) == 4, "szProxyCfg at 4");
static_assert(offsetof(tagZEMPROXYINFO, dwProxyAccessType) == 52, "dwProxyAccessType at 52");
static_assert(offsetof(tagZEMPROXYINFO, chProxyAccessType) == 56, "chProxyAccessType at 56");
static_assert(offsetof(tagZEMPROXYINFO, szUsrAgt) == 60, "szUsrAgt at 60");
static_assert(offsetof(tagZEMPROXYINFO, szProxyUser) == 188, "szProxyUser at 188");
static_assert(offsetof(tagZEMPROXYINFO, szPassWord) == 220, "szPassWord at 220");
static_assert(offsetof(tagZEMPROXYINFO, szUserName) == 252, "szUserName at 252");
static_assert(offsetof(tagZEMPROXYINFO, szProxyPswd) == 284, "szProxyPswd at 284");
static_assert(offsetof(tagZEMPROXYINFO, szProxyNames) == 316, "szProxyNames at 316");
static_assert(offsetof(tagZEMPROXYINFO, szProxyBypass) == 576, "szProxyBypass at 576");

// ---- request-header list ----
// One entry of a client's own header list, a checked block owned by the
// client. dwModifiers are the HTTP_ADDREQ_FLAG_* of the last add for the
// entry; a null pszValue removes the header from every request built.
typedef struct tagZEMHTTPHDR {
  struct tagZEMHTTPHDR *pNext;
  DWORD dwModifiers;
  char *pszName;   // text block, as given
  char *pszValue;  // text block or null
} ZEMHTTPHDR, *LPZEMHTTPHDR;

// ---- the client object ----
class ZEMHTTP_API CZemHttp {
 public:
  // Sets the defaults, stores the three numbers and the WinHTTP choice, then
  // binds WINHTTP.DLL (choice non-zero, binding nothing) or WININET.DLL. A
  // failed load is visible only through CheckSystemAvailable and the error.
  CZemHttp(DWORD uDoc, DWORD uCompany, DWORD uConn, int bWinHttp);
  CZemHttp();
  virtual ~CZemHttp();
  // The object owns blocks, handles and modules: a copy would release them
  // twice.
  CZemHttp(const CZemHttp &) = delete;
  CZemHttp &operator=(const CZemHttp &) = delete;

  // ---- lifecycle ----
  int SetDefaultUploadInfo();
  // 1 when a library is loaded and InternetOpenA is bound.
  int CheckSystemAvailable();
  // 1 while a connection handle is held.
  int IsConnected();
  // Keeps the three low bits (request, connection, internet handle); returns
  // the stored mask.
  DWORD SetHandleReleaseMode(DWORD dwMode);
  // Folder the next LoadWinInet loads WININET.DLL from; null forgets it.
  int SetModulePath(const char *pszPath);

  // ---- errors ----
  // Records nError (nFallback when nError is 0) as an internet code
  // (12000..12999) or an operating-system code, and the text: pszFormat is
  // formatted with the code when its first "%" starts one of %d %u %i %x
  // (either letter case), else stored as it stands; cut to 255 characters.
  // Code 0 without fallback and an unusable format clears the record.
  void SetError(int nError, const char *pszFormat, int nFallback);
  DWORD GetLastOSError();
  // Hands the internet library's message for the code to the support
  // library's error report, then returns the code (0 for an OS error).
  DWORD GetLastInternetError();
  // Copies at most cchMax characters (the whole text when 0) and a NUL;
  // returns the full length of the text.
  int GetErrorString(char *pszBuffer, unsigned short cchMax);

  // ---- service log ----
  int EnableLogging(int nMaxLines, int nFirstAlloc, int nGrowBy);
  int LogAddLine(const char *pszText);
  int AllocLogLines();
  int DeleteLogLines();
  int GetDbgLineCount();
  // Line nLine counted from 1; copies at most nMax characters (all when 0)
  // and returns the full length of the line.
  int GetDebugLine(char *pszBuffer, int nLine, int nMax);
  // Appends every line and "\r\n" to the text in pszBuffer (null: only
  // counts); returns the characters appended.
  int GetDebugBuffer(char *pszBuffer);

  // ---- internet library binding ----
  int LoadWinInet();
  int LoadWinHttp();

  // ---- URL handling ----
  // Checks the URL with the library's canonicaliser, then splits it with the
  // library's URL cracker into scheme, host, port, path, extra information
  // (kept with its "?" or "#") and credentials; derives the request flags
  // (secure for "https" in any letter case or port 443) and marks the request
  // and connection handles for release. A URL without extra information or
  // credentials keeps the ones held. 1 when parsed, or when no library is
  // bound; 0 when refused.
  int SetURL(const char *pszUrl);

  // ---- request settings ----
  // Texts by selector: 0 user agent, 1 file name, 2 host, 3 HTTP version,
  // 4 verb (one of the verb table, any letter case), 5 proxy method letter,
  // 7 proxy list, 8 bypass list (259 characters each), 10 proxy user,
  // 11 HTTP password, 12 HTTP user, 13 proxy password (31 characters each),
  // 17 URL path, 18 one header line "name: value" (replaces that header).
  // Other selectors are refused (0, error 87).
  int SetHttpStr(const char *pszValue, DWORD dwSelector);
  // Numbers by selector: 0 request flags, 1 session and connection flags,
  // 2 port (low 16 bits), 3 service, 4 request length, 5 proxy access type
  // (0, 1, 3 or 4 only), 7 receive time-out in ms, 8 connection attempts.
  int SetHttpDWS(DWORD dwValue, DWORD dwSelector);
  int SetHttpUser(const char *pszUser);
  // The log shows one "*" per character (at most 255), never the password.
  int SetHttpPswd(const char *pszPassword);
  int SetHttpFlag(DWORD dwFlags);
  int SetInetFlag(DWORD dwFlags);
  int SetIpPort(DWORD dwPort);
  void SetNoContentLength(int bOn);
  // Clamped to 1..10; returns the stored count.
  DWORD SetMaxRetries(DWORD dwCount);
  // Kept for the caller; no operation of the library reads it.
  int SetWindowParent(HWND hWnd);
  void SetNotifyResultProc(ZEMNOTIFYPROC pfnNotify, void *pvData);
  void SetNotifyStatusProc(ZEMNOTIFYPROC pfnNotify, void *pvData);

  // ---- request headers ----
  // Adds, updates or empties the entry of a name in the client's own header
  // list, with the library's HTTP_ADDREQ_FLAG_* semantics: ADD_IF_NEW leaves
  // a present name alone, the COALESCE flags always append, any other flags
  // update the first entry of the name in place. An empty value on a present
  // name removes that header from later requests. 0 only when an entry could
  // not be allocated (or a text could not be read).
  int AddHttpHeader(DWORD dwModifiers, const char *pszName, const char *pszValue);
  // Removes every entry of the name (any letter case), or all entries for a
  // null or empty name.
  int ClearHttpHdrs(const char *pszName);

  // ---- proxy info exchange ----
  // Copy the 836-byte proxy record out of this object or into it (from a
  // record or from another object). Failures set dwLastOSError and
  // szLastError directly: 0x80070057 for a null record, 13 for a record not
  // initialized, 998 for a record that cannot be read or written.
  int ExportProxyInfo(tagZEMPROXYINFO *pInfo);
  int ImportProxyInfo(tagZEMPROXYINFO *pInfo);
  int ImportProxyInfo(CZemHttp *pOther);

  // ---- proxy settings file ----
  // Replaces the proxy record with the keys of a private-profile file
  // (default "ZEMPROXY.INI", section "PROXY"); a null argument keeps the
  // name used before. A file name without a folder is looked for in the
  // current folder, by the existence check and the reads alike.
  void GetProxyIniFile(const char *pszFile, const char *pszSection);

  // ---- proxy discovery ----
  // The access type of the internet library's own proxy configuration (on
  // this platform the http_proxy, https_proxy and no_proxy environment),
  // copying a named proxy into the record; 0 when it could not be read.
  int ConfigProxyUsingWinInet();
  // Asks the auto-proxy library "jsproxy.dll" (loaded on first use) for the
  // host's proxy. The answer changes no setting. 1 when the query ran
  // without error, 0 on a load failure or a query error.
  int AttemptAutoProxyUrl(char *pszHost);

  // ---- fields, in their documented order ----
  DWORD uDocument;
  DWORD uCompanyID;
  DWORD uConnection;
  char szConnectionName[40];
  DWORD dwStatusCode;
  DWORD dwLastOSError;
  DWORD dwLastInetError;
  DWORD dwMaxRetries;
  char *pszModulePath;
  char *pszProxySection;
  char *pszProxyIniFile;
  char *pszMsg;  // 4096-byte scratch text for log lines
  char szLastError[256];
  void *pvResponse;
  void *pvRequest;
  void *pvPostData;
  char *pvQueryData;
  char *pszScheme;
  char *pszUserAgent;
  char *pszHttpVersion;
  char *pszFileName;
  char *pszHostName;
  char *pszUrlPath;
  char *pszObjectName;
  char *pszUserName;
  char *pszPassword;
  DWORD cbRequest;
  DWORD cbResponse;
  DWORD cbQueryData;
  DWORD cbResponseHeaders;
  DWORD cbPostData;
  char *pvResponseHeaders;
  int nDumpLineWidth;
  URL_COMPONENTSA urlComponents;
  ZEMPROXYINFO m_ZemProxyInfo;
  ZEMHTTPHDR *pHttpHeaders;
  int bUseWinHttp;
  int bNoContentLength;
  DWORD dwHandleReleaseMode;
  DWORD dwReceiveTimeout;
  DWORD dwService;
  DWORD dwInetFlags;
  DWORD dwHttpFlags;
  const char *pszVerb;
  INTERNET_PORT nPort;
  HINTERNET hOpenParam;  // supplied by the caller: used, never closed
  HINTERNET hOpen;
  HINTERNET hConnect;
  HINTERNET hRequest;
  HWND hWndParent;
  HMODULE hJsProxy;
  HMODULE hWinInet;
  ZEMNOTIFYPROC pfnNotifyResult;
  ZEMNOTIFYPROC pfnNotifyStatus;
  void *pvNotifyResultData;
  void *pvNotifyStatusData;
  char **ppszLogLines;
  int nLogLines;
  int nLogGrowBy;
  int nLogCapacity;
  int nLogMaxLines;

  // ---- bound internet-library functions, in slot order 1 to 28 ----
  // Null when not bound. Slot 16 is never bound by LoadWinInet: the lookup
  // lives in the auto-proxy library.
  decltype(&::DetectAutoProxyUrl) m_WinInet_DetectAutoProxyUrl;
  decltype(&::HttpAddRequestHeadersA) m_WinInet_HttpAddRequestHeadersA;
  decltype(&::HttpEndRequestA) m_WinInet_HttpEndRequestA;
  decltype(&::HttpOpenRequestA) m_WinInet_HttpOpenRequestA;
  decltype(&::HttpQueryInfoA) m_WinInet_HttpQueryInfoA;
  decltype(&::HttpSendRequestA) m_WinInet_HttpSendRequestA;
  decltype(&::HttpSendRequestExA) m_WinInet_HttpSendRequestExA;
  decltype(&::InternetCanonicalizeUrlA) m_WinInet_InternetCanonicalizeUrlA;
  decltype(&::InternetCrackUrlA) m_WinInet_InternetCrackUrl;
  decltype(&::InternetCreateUrlA) m_WinInet_InternetCreateUrlA;
  decltype(&::InternetCloseHandle) m_WinInet_InternetCloseHandle;
  decltype(&::InternetConnectA) m_WinInet_InternetConnectA;
  decltype(&::InternetErrorDlg) m_WinInet_InternetErrorDlg;
  decltype(&::InternetGetCookieA) m_WinInet_InternetGetCookieA;
  decltype(&::InternetGetCookieExA) m_WinInet_InternetGetCookieExA;
  pfnInternetGetProxyInfo m_WinInet_InternetGetProxyInfo;
  decltype(&::InternetGetLastResponseInfoA) m_WinInet_InternetGetLastResponseInfoA;
  decltype(&::InternetInitializeAutoProxyDll) m_WinInet_InternetInitializeAutoProxyDll;
  decltype(&::InternetOpenA) m_WinInet_InternetOpenA;
  decltype(&::InternetQueryDataAvailable) m_WinInet_InternetQueryDataAvailable;
  decltype(&::InternetQueryOptionA) m_WinInet_InternetQueryOptionA;
  decltype(&::InternetReadFile) m_WinInet_InternetReadFile;
  decltype(&::InternetReadFileExA) m_WinInet_InternetReadFileExA;
  decltype(&::InternetSetCookieA) m_WinInet_InternetSetCookieA;
  decltype(&::InternetSetOptionA) m_WinInet_InternetSetOptionA;
  decltype(&::InternetSetStatusCallbackA) m_WinInet_InternetSetStatusCallbackA;
  decltype(&::InternetStatusCallbackA) m_WinInet_InternetStatusCallbackA;
  decltype(&::InternetWriteFile) m_WinInet_InternetWriteFile;

 private:
  // Formats one line into pszMsg (a local buffer when pszMsg could not be
  // allocated) and hands it to LogAddLine.
  void LogPrintf(const char *pszFormat, ...) __attribute__((format(printf, 2, 3)));
  // Records that a caller's buffer or text could not be reached (998) under
  // the member's own text.
  void SetAccessError(const char *pszFormat);

  // Release helpers used by the destructor, in their documented shape:
  // close the handle in one slot, release handles by mask (request,
  // connection, internet; never a caller-supplied internet handle).
  int CloseInternetHandle(void **phInternet);
  int CloseInternetHandles(DWORD dwMask);
};

// ---- status texts ----
// Looks up an HTTP status code in the table of 39 known codes. Sizes count the
// terminating NUL: at most size - 1 characters are copied and the text is
// terminated, a size of 0 writes nothing, so sizeof(buffer) is always safe. A
// null buffer is skipped. Returns 1 for a known code; 0 for an unknown one,
// with each buffer set to the empty text. A buffer that cannot be written is
// not touched: result 0, last error 998 (ERROR_NOACCESS).
extern "C" ZEMHTTP_API int GetHttpStatusStrings(unsigned int uCode, char *pszShort, unsigned int cbShort,
                                                char *pszLong, unsigned int cbLong);

#endif  // ZEM_ZEMHTTP_H
