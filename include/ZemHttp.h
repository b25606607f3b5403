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

// ---- debug log export flags ----
// The sections of one GetDebugLog export; any combination.
#define ZEMHTTP_LOG_LINES 0x01       // the service log lines
#define ZEMHTTP_LOG_DATA 0x04        // dumps of the query, request, response and headers
#define ZEMHTTP_LOG_CONNECTION 0x08  // the connection name and numbers
#define ZEMHTTP_LOG_TIME 0x10        // the time of day
#define ZEMHTTP_LOG_DATE 0x20        // today's date
#define ZEMHTTP_LOG_ALL 0x3D

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

  // ---- debug log export ----
  // Stores the three numbers and the name (its first 39 characters; an
  // unusable name keeps the one held) printed in the debug log header.
  // Always 1.
  int SetConnectionID(unsigned int uDoc, unsigned int uCompany, unsigned int uConn, const char *pszName);
  // Appends one export to the file (an unusable name: "HttpLog.TXT" in the
  // current folder) with the sections the ZEMHTTP_LOG_* flags select, always
  // in the order connection header, date, time, log lines, data dumps. 1 when
  // written; 0 when no log line is held, the flags are 0, or the file can be
  // neither opened nor created.
  int GetDebugLog(const char *pszFile, DWORD dwFlags);
  // Writes a ruler of nWidth characters (0 means 50), then the data in lines
  // of nWidth characters (bytes outside " ".."z" shown as "_", the last line
  // padded with blanks), then an empty line, to a file handle of the support
  // library. Returns the bytes dumped; 0 for a handle of 0 or less.
  int FormatLogData(int hFile, const char *pData, int nLength, int nWidth);

  // ---- internet session ----
  // The internet handle every connection is made on: a caller's handle
  // (adopted for good, never closed), the one held, or a new one opened with
  // the access type the proxy record selects. Null when none could be opened.
  HINTERNET OpenInternet(HINTERNET hInternet);

  // ---- server connection and handle release ----
  // Closes the handle in the slot (the slot is not cleared); 0 for a null
  // slot address.
  int CloseInternetHandle(void **phInternet);
  // Releases handles child first by mask: bit 0 request, bit 1 connection
  // (and request), bit 2 internet handle (and the others; never a caller's
  // handle); 0 means 7. 1 when a handle was released.
  int CloseInternetHandles(DWORD dwMask);
  // Opens the connection to the current host (or keeps the one held while
  // release bit 1 is clear), with credentials, receive time-out and proxy
  // credentials. Returns IsConnected().
  int InternetMakeConnection(HINTERNET hInternet);

  // ---- request sending ----
  // Opens the request for pszVerb and the object name (one leading "/" or
  // "\" dropped), adds the header list, settles Content-Length and sends the
  // pending body, or the body held from the last send. Non-zero when sent
  // and answered.
  int SendRequest(const char *pszObject);

  // ---- response download and results ----
  // Reads the status code of the held request into dwStatusCode; 0 when it
  // cannot be read or no request is held.
  DWORD GetHttpStatusCode();
  // dwStatusCode, without a library call.
  DWORD QueryHttpStatusCode();
  // dwQuery is an HttpQueryInfoA level with modifiers (0 means the raw
  // headers, CRLF separated). With HTTP_QUERY_FLAG_NUMBER exactly 4 bytes
  // (a DWORD, 0 when the header is missing) are written at ppvResult and the
  // result is 4. Otherwise *ppvResult receives a new checked block with the
  // text (a block it held is released first; the caller releases the last
  // one with ZemMemFree) and the result is its length, 0 on failure.
  DWORD GetHttpResponseHeaders(void **ppvResult, DWORD dwQuery);
  // Downloads the body of the held request into pvResponse/cbResponse (one
  // zero byte after the data). 0 when announced data never arrived or the
  // body could not be stored.
  int DataDump();
  // Copies the body held (cbResponse bytes, no terminator) when pBuffer is
  // not null; returns cbResponse, or 0 when no body is held.
  unsigned int GetRawData(char *pBuffer);

  // ---- request driver and notifications ----
  // Runs the prepared request: session, connection, send (again while the
  // server answers 1xx, at most dwMaxRetries sends), status, length, headers,
  // body. 1 when a response with a status of 200 to 600 was downloaded.
  int InternetRun();
  // Calls the result procedure (targets bit 0, codes without 0x2000) and the
  // status procedure (targets bit 1, with a status text) on this thread.
  void Notify(int nCode, int nTargets, INT_PTR nValue);

  // ---- request body, query, POST and GET ----
  // Replaces the body of the next request (binary, copied). A size of 0
  // clears it, and with it the body held for resending. 0 for null data with
  // a size (error 13) or an unreadable one.
  int SetPostData(const void *pvData, unsigned int cbData);
  // Replaces the query text (sent as given); an empty text clears it. A query
  // of 65536 characters or more is refused (0, error 87).
  int SetQueryData(const char *pszQuery);
  // POST to the URL path (never the query). Null url keeps the URL; null
  // data or size 0 resends the body held. Returns the run's result.
  int Post(const char *pszUrl, const void *pvData, unsigned int cbData);
  // POST of the text followed by CR LF.
  int PostText(const char *pszUrl, const char *pszText);
  // GET of the URL path with the query (the argument, else the one held).
  int Get(const char *pszUrl, const char *pszQuery);

  // ---- informational verbs ----
  // OPTIONS of the URL path; copies the body text, else the "Allow:" header
  // line, into at most cchBuffer characters. 1 when the run succeeded and a
  // body is held.
  int GetOptions(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer);
  // HEAD of the URL path; copies the response header text (at most
  // cchBuffer characters with the NUL). Returns cbResponseHeaders.
  int GetHead(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer);
  // TRACE of the URL path; as GetHead.
  int Trace(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer);

  // ---- file verbs ----
  // PUT of the data (or the body held) as the file named below the URL path
  // ("path/name"); a name of 3 characters or more replaces pszFileName, a
  // shorter or missing one reuses it.
  int FilePut(const char *pszUrl, const char *pszFile, const void *pvData, unsigned int cbData);
  // DELETE of the file named below the URL path, without a body.
  int FileDelete(const char *pszUrl, const char *pszFile);

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
  // allocated) and stores it as LogAddLine does; the line is the object's
  // own, so it needs no probe.
  void LogPrintf(const char *pszFormat, ...) __attribute__((format(printf, 2, 3)));
  // LogAddLine without the probe of the text; `bProbe` asks for it once the
  // line is known to be kept.
  int StoreLogLine(const char *pszText, bool bProbe);
  // Records that a caller's buffer or text could not be reached (998) under
  // the member's own text.
  void SetAccessError(const char *pszFormat);
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
