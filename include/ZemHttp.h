/// @file ZemHttp.h
/// The HTTP client object CZemHttp and the status text lookup.
///
/// A CZemHttp holds everything one synchronous HTTP conversation needs: the
/// target, the bodies, the three internet handles, the proxy settings record,
/// the request-header list, the service log, the last error and the table of
/// internet-library functions it binds at run time. Its fields are public so
/// that callers (and the library's own parts) can inspect them; they keep the
/// documented names and Hungarian notation.
///
/// Widths: every DWORD is 32 bits; fields holding a handle or pointer are
/// pointer-sized.
#ifndef ZEM_ZEMHTTP_H
#define ZEM_ZEMHTTP_H

#include <stddef.h>

#include "ZemApi.h"
#include "ZemNotify.h"
#include "windows.h"
#include "wininet.h"

// ---- verb table ----
/// @name Verb table
/// The eight constant texts a client's pszVerb points at: seven verbs and an
/// empty end entry. pszVerb is never freed and never points at a caller's text.
///@{
#define ZEMHTTP_VERB_GET 0      ///< index of "GET"
#define ZEMHTTP_VERB_POST 1     ///< index of "POST", the default verb
#define ZEMHTTP_VERB_PUT 2      ///< index of "PUT"
#define ZEMHTTP_VERB_HEAD 3     ///< index of "HEAD"
#define ZEMHTTP_VERB_OPTIONS 4  ///< index of "OPTIONS"
#define ZEMHTTP_VERB_DELETE 5   ///< index of "DELETE"
#define ZEMHTTP_VERB_TRACE 6    ///< index of "TRACE"
#define ZEMHTTP_VERB_COUNT 7    ///< number of verbs; the index of the empty end entry
/// "GET", "POST", "PUT", "HEAD", "OPTIONS", "DELETE", "TRACE", then "".
extern "C" ZEMHTTP_API const char *const ZemHttpVerbTable[ZEMHTTP_VERB_COUNT + 1];
///@}

// ---- proxy settings record ----
/// Exchanged across the library boundary by address: the layout is binding
/// (836 bytes, little-endian, no padding). Texts are NUL-terminated and
/// zero-padded.
typedef struct tagZEMPROXYINFO {
  DWORD bInitialized;         ///< non-zero once the record holds settings
  DWORD szProxyCfg[12];       ///< method letters to try, one character code per slot, 0 after the last
  DWORD dwProxyAccessType;    ///< INTERNET_OPEN_TYPE_* for InternetOpenA: 0, 1, 3 or 4
  DWORD chProxyAccessType;    ///< method letter in use as a character code; 0 = none
  char szUsrAgt[128];         ///< user agent from the settings
  char szProxyUser[32];       ///< proxy user name
  char szPassWord[32];        ///< HTTP password from the settings
  char szUserName[32];        ///< HTTP user name from the settings
  char szProxyPswd[32];       ///< proxy password
  char szProxyNames[260];     ///< named proxy list
  char szProxyBypass[260];    ///< proxy bypass list
} ZEMPROXYINFO,
    *LPZEMPROXYINFO;  ///< pointer to a proxy settings record

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
/// One entry of a client's own header list, a checked block owned by the
/// client. dwModifiers are the HTTP_ADDREQ_FLAG_* of the last add for the
/// entry; a null pszValue removes the header from every request built.
typedef struct tagZEMHTTPHDR {
  struct tagZEMHTTPHDR *pNext;  ///< next entry, null at the end
  DWORD dwModifiers;            ///< HTTP_ADDREQ_FLAG_* of the last add
  char *pszName;   ///< text block, as given
  char *pszValue;  ///< text block or null
} ZEMHTTPHDR,
    *LPZEMHTTPHDR;  ///< pointer to a header list entry

// ---- debug log export flags ----
/// @name Debug log export flags
/// The sections of one GetDebugLog export; any combination.
///@{
#define ZEMHTTP_LOG_LINES 0x01       ///< the service log lines
#define ZEMHTTP_LOG_DATA 0x04        ///< dumps of the query, request, response and headers
#define ZEMHTTP_LOG_CONNECTION 0x08  ///< the connection name and numbers
#define ZEMHTTP_LOG_TIME 0x10        ///< the time of day
#define ZEMHTTP_LOG_DATE 0x20        ///< today's date
#define ZEMHTTP_LOG_ALL 0x3D         ///< every section
///@}

// ---- the client object ----
/// A synchronous HTTP client: configure a request, run a verb, read the
/// status, headers and body; keeps a service log and the last error. Driven
/// by one thread at a time; objects are independent of each other. No member
/// throws: failures return 0 (or null) and are recorded (GetLastOSError,
/// GetLastInternetError, GetErrorString).
class ZEMHTTP_API CZemHttp {
 public:
  /// Sets the defaults, stores the three numbers and the WinHTTP choice, then
  /// binds WINHTTP.DLL (choice non-zero, binding nothing) or WININET.DLL. A
  /// failed load is visible only through CheckSystemAvailable and the error.
  CZemHttp(DWORD uDoc, DWORD uCompany, DWORD uConn, int bWinHttp);
  /// Sets the defaults and binds WININET.DLL; the three numbers stay 0. A
  /// failed load is visible only through CheckSystemAvailable and the error.
  CZemHttp();
  /// Drops the header list, closes the handles the object opened (never a
  /// caller's), frees both libraries, the log and every block.
  virtual ~CZemHttp();
  /// The object owns blocks, handles and modules: a copy would release them
  /// twice.
  CZemHttp(const CZemHttp &) = delete;
  CZemHttp &operator=(const CZemHttp &) = delete;

  // ---- lifecycle ----
  /// Puts every field to its default (verb "POST", user agent "ZEM Data
  /// Services", "HTTP/1.1", 200 log lines without growth, ...) without
  /// releasing anything held: the constructors run it on a fresh object.
  /// Returns 1.
  int SetDefaultUploadInfo();
  /// 1 when a library is loaded and InternetOpenA is bound.
  int CheckSystemAvailable();
  /// 1 while a connection handle is held.
  int IsConnected();
  /// Keeps the three low bits (request, connection, internet handle); returns
  /// the stored mask.
  DWORD SetHandleReleaseMode(DWORD dwMode);
  /// Folder the next LoadWinInet loads WININET.DLL from; null forgets it.
  int SetModulePath(const char *pszPath);

  // ---- errors ----
  /// Records nError (nFallback when nError is 0) as an internet code
  /// (12000..12999) or an operating-system code, and the text: pszFormat is
  /// formatted with the code when its first "%" starts one of %d %u %i %x
  /// (either letter case), else stored as it stands; cut to 255 characters.
  /// Code 0 without fallback and an unusable format clears the record.
  void SetError(int nError, const char *pszFormat, int nFallback);
  /// The last operating-system error code recorded (dwLastOSError).
  DWORD GetLastOSError();
  /// Hands the internet library's message for the code to the support
  /// library's error report, then returns the code (0 for an OS error).
  DWORD GetLastInternetError();
  /// Copies at most cchMax characters (the whole text when 0) and a NUL;
  /// returns the full length of the text.
  int GetErrorString(char *pszBuffer, unsigned short cchMax);

  // ---- service log ----
  /// Keeps at most nMaxLines service log lines in an array of nFirstAlloc
  /// slots (none before the first line when 0) that grows by nGrowBy. With
  /// lines held: 0 deletes them, fewer than held freezes the log, more lets
  /// it grow on. Returns 1, or the result of the first allocation.
  int EnableLogging(int nMaxLines, int nFirstAlloc, int nGrowBy);
  /// Stores a copy of the line; 1 when stored, 0 when the log is full or off
  /// (the line is dropped). A text that cannot be read is dropped with 998.
  int LogAddLine(const char *pszText);
  /// Grows the line array by nLogGrowBy slots, up to nLogMaxLines. 1 when
  /// grown; 0 when growth is off, the maximum is reached or out of memory.
  int AllocLogLines();
  /// Frees every line and the array; logging is off until EnableLogging.
  /// Always 1.
  int DeleteLogLines();
  /// The number of service log lines held.
  int GetDbgLineCount();
  /// Line nLine counted from 1; copies at most nMax characters (all when 0)
  /// and returns the full length of the line.
  int GetDebugLine(char *pszBuffer, int nLine, int nMax);
  /// Appends every line and "\r\n" to the text in pszBuffer (null: only
  /// counts); returns the characters appended.
  int GetDebugBuffer(char *pszBuffer);

  // ---- internet library binding ----
  /// Loads WININET.DLL from pszModulePath (the system search without one)
  /// and binds the function table; a library loaded before is not released.
  /// 1 when loaded; 0 with the loader's error recorded (fallback 126).
  int LoadWinInet();
  /// Loads WINHTTP.DLL by its bare name and binds nothing, so the object
  /// has no internet library to call. 1 when loaded, else 0 with the error.
  int LoadWinHttp();

  // ---- URL handling ----
  /// Checks the URL with the library's canonicaliser, then splits it with the
  /// library's URL cracker into scheme, host, port, path, extra information
  /// (kept with its "?" or "#") and credentials; derives the request flags
  /// (secure for "https" in any letter case or port 443) and marks the request
  /// and connection handles for release. A URL without extra information or
  /// credentials keeps the ones held. 1 when parsed, or when no library is
  /// bound; 0 when refused.
  int SetURL(const char *pszUrl);

  // ---- request settings ----
  /// Texts by selector: 0 user agent, 1 file name, 2 host, 3 HTTP version,
  /// 4 verb (one of the verb table, any letter case), 5 proxy method letter,
  /// 7 proxy list, 8 bypass list (259 characters each), 10 proxy user,
  /// 11 HTTP password, 12 HTTP user, 13 proxy password (31 characters each),
  /// 17 URL path, 18 one header line "name: value" (replaces that header).
  /// Other selectors are refused (0, error 87).
  int SetHttpStr(const char *pszValue, DWORD dwSelector);
  /// Numbers by selector: 0 request flags, 1 session and connection flags,
  /// 2 port (low 16 bits), 3 service, 4 request length, 5 proxy access type
  /// (0, 1, 3 or 4 only), 7 receive time-out in ms, 8 connection attempts.
  int SetHttpDWS(DWORD dwValue, DWORD dwSelector);
  /// Stores the HTTP user name (pszUserName); 1, or 0 when the text cannot be
  /// read.
  int SetHttpUser(const char *pszUser);
  /// The log shows one "*" per character (at most 255), never the password.
  int SetHttpPswd(const char *pszPassword);
  /// Stores the request flags (dwHttpFlags); always 1.
  int SetHttpFlag(DWORD dwFlags);
  /// Stores the session and connection flags (dwInetFlags); always 1.
  int SetInetFlag(DWORD dwFlags);
  /// Stores the low 16 bits as the server port (0: the scheme's default);
  /// always 1.
  int SetIpPort(DWORD dwPort);
  /// Non-zero: requests go without a Content-Length header.
  void SetNoContentLength(int bOn);
  /// Clamped to 1..10; returns the stored count.
  DWORD SetMaxRetries(DWORD dwCount);
  /// Kept for the caller; no operation of the library reads it.
  int SetWindowParent(HWND hWnd);
  /// Registers the result procedure (NOTIFY_COMPLETE, NOTIFY_ERROR, ...) and
  /// its first value; null unregisters it.
  void SetNotifyResultProc(ZEMNOTIFYPROC pfnNotify, void *pvData);
  /// Registers the status procedure (NOTIFY_STATUS_TEXT and the others) and
  /// its first value; null unregisters it.
  void SetNotifyStatusProc(ZEMNOTIFYPROC pfnNotify, void *pvData);

  // ---- request headers ----
  /// Adds, updates or empties the entry of a name in the client's own header
  /// list, with the library's HTTP_ADDREQ_FLAG_* semantics: ADD_IF_NEW leaves
  /// a present name alone, the COALESCE flags always append, any other flags
  /// update the first entry of the name in place. An empty value on a present
  /// name removes that header from later requests. 0 only when an entry could
  /// not be allocated (or a text could not be read).
  int AddHttpHeader(DWORD dwModifiers, const char *pszName, const char *pszValue);
  /// Removes every entry of the name (any letter case), or all entries for a
  /// null or empty name.
  int ClearHttpHdrs(const char *pszName);

  // ---- proxy info exchange ----
  /// @name Proxy info exchange
  /// Copy the 836-byte proxy record out of this object or into it (from a
  /// record or from another object). Failures set dwLastOSError and
  /// szLastError directly: 0x80070057 for a null record, 13 for a record not
  /// initialized, 998 for a record that cannot be read or written.
  ///@{

  /// Copies this object's proxy record to pInfo; 1 when copied, else 0.
  int ExportProxyInfo(tagZEMPROXYINFO *pInfo);
  /// Replaces this object's proxy record with an initialized record; 1 when
  /// copied, else 0.
  int ImportProxyInfo(tagZEMPROXYINFO *pInfo);
  /// Replaces this object's proxy record with that of another object; 1 when
  /// copied, else 0.
  int ImportProxyInfo(CZemHttp *pOther);
  ///@}

  // ---- proxy settings file ----
  /// Replaces the proxy record with the keys of a private-profile file
  /// (default "ZEMPROXY.INI", section "PROXY"); a null argument keeps the
  /// name used before. A file name without a folder is looked for in the
  /// current folder, by the existence check and the reads alike.
  void GetProxyIniFile(const char *pszFile, const char *pszSection);

  // ---- proxy discovery ----
  /// The access type of the internet library's own proxy configuration (on
  /// this platform the http_proxy, https_proxy and no_proxy environment),
  /// copying a named proxy into the record; 0 when it could not be read.
  int ConfigProxyUsingWinInet();
  /// Asks the auto-proxy library "jsproxy.dll" (loaded on first use) for the
  /// host's proxy. The answer changes no setting. 1 when the query ran
  /// without error, 0 on a load failure or a query error.
  int AttemptAutoProxyUrl(char *pszHost);

  // ---- debug log export ----
  /// Stores the three numbers and the name (its first 39 characters; an
  /// unusable name keeps the one held) printed in the debug log header.
  /// Always 1.
  int SetConnectionID(unsigned int uDoc, unsigned int uCompany, unsigned int uConn, const char *pszName);
  /// Appends one export to the file (an unusable name: "HttpLog.TXT" in the
  /// current folder) with the sections the ZEMHTTP_LOG_* flags select, always
  /// in the order connection header, date, time, log lines, data dumps. 1 when
  /// written; 0 when no log line is held, the flags are 0, or the file can be
  /// neither opened nor created.
  int GetDebugLog(const char *pszFile, DWORD dwFlags);
  /// Writes a ruler of nWidth characters (0 means 50), then the data in lines
  /// of nWidth characters (bytes outside " ".."z" shown as "_", the last line
  /// padded with blanks), then an empty line, to a file handle of the support
  /// library. Returns the bytes dumped; 0 for a handle of 0 or less.
  int FormatLogData(int hFile, const char *pData, int nLength, int nWidth);

  // ---- internet session ----
  /// The internet handle every connection is made on: a caller's handle
  /// (adopted for good, never closed), the one held, or a new one opened with
  /// the access type the proxy record selects. Null when none could be opened.
  HINTERNET OpenInternet(HINTERNET hInternet);

  // ---- server connection and handle release ----
  /// Closes the handle in the slot (the slot is not cleared); 0 for a null
  /// slot address.
  int CloseInternetHandle(void **phInternet);
  /// Releases handles child first by mask: bit 0 request, bit 1 connection
  /// (and request), bit 2 internet handle (and the others; never a caller's
  /// handle); 0 means 7. 1 when a handle was released.
  int CloseInternetHandles(DWORD dwMask);
  /// Opens the connection to the current host (or keeps the one held while
  /// release bit 1 is clear), with credentials, receive time-out and proxy
  /// credentials. Returns IsConnected().
  int InternetMakeConnection(HINTERNET hInternet);

  // ---- request sending ----
  /// Opens the request for pszVerb and the object name (one leading "/" or
  /// "\" dropped), adds the header list, settles Content-Length and sends the
  /// pending body, or the body held from the last send. Non-zero when sent
  /// and answered.
  int SendRequest(const char *pszObject);

  // ---- response download and results ----
  /// Reads the status code of the held request into dwStatusCode; 0 when it
  /// cannot be read or no request is held.
  DWORD GetHttpStatusCode();
  /// dwStatusCode, without a library call.
  DWORD QueryHttpStatusCode();
  /// dwQuery is an HttpQueryInfoA level with modifiers (0 means the raw
  /// headers, CRLF separated). With HTTP_QUERY_FLAG_NUMBER exactly 4 bytes
  /// (a DWORD, 0 when the header is missing) are written at ppvResult and the
  /// result is 4. Otherwise *ppvResult receives a new checked block with the
  /// text (a block it held is released first; the caller releases the last
  /// one with ZemMemFree) and the result is its length, 0 on failure.
  DWORD GetHttpResponseHeaders(void **ppvResult, DWORD dwQuery);
  /// Downloads the body of the held request into pvResponse/cbResponse (one
  /// zero byte after the data). 0 when announced data never arrived or the
  /// body could not be stored.
  int DataDump();
  /// Copies the body held (cbResponse bytes, no terminator) when pBuffer is
  /// not null; returns cbResponse, or 0 when no body is held.
  unsigned int GetRawData(char *pBuffer);

  // ---- request driver and notifications ----
  /// Runs the prepared request: session, connection, send (again while the
  /// server answers 1xx, at most dwMaxRetries sends), status, length, headers,
  /// body. 1 when a response with a status of 200 to 600 was downloaded.
  int InternetRun();
  /// Calls the result procedure (targets bit 0, codes without 0x2000) and the
  /// status procedure (targets bit 1, with a status text) on this thread.
  void Notify(int nCode, int nTargets, INT_PTR nValue);

  // ---- request body, query, POST and GET ----
  /// Replaces the body of the next request (binary, copied). A size of 0
  /// clears it, and with it the body held for resending. 0 for null data with
  /// a size (error 13) or an unreadable one.
  int SetPostData(const void *pvData, unsigned int cbData);
  /// Replaces the query text (sent as given); an empty text clears it. A query
  /// of 65536 characters or more is refused (0, error 87).
  int SetQueryData(const char *pszQuery);
  /// POST to the URL path (never the query). Null url keeps the URL; null
  /// data or size 0 resends the body held. Returns the run's result.
  int Post(const char *pszUrl, const void *pvData, unsigned int cbData);
  /// POST of the text followed by CR LF.
  int PostText(const char *pszUrl, const char *pszText);
  /// GET of the URL path with the query (the argument, else the one held).
  int Get(const char *pszUrl, const char *pszQuery);

  // ---- informational verbs ----
  /// OPTIONS of the URL path; copies the body text, else the "Allow:" header
  /// line, into at most cchBuffer characters. 1 when the run succeeded and a
  /// body is held.
  int GetOptions(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer);
  /// HEAD of the URL path; copies the response header text (at most
  /// cchBuffer characters with the NUL). Returns cbResponseHeaders.
  int GetHead(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer);
  /// TRACE of the URL path; as GetHead.
  int Trace(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer);

  // ---- file verbs ----
  /// PUT of the data (or the body held) as the file named below the URL path
  /// ("path/name"); a name of 3 characters or more replaces pszFileName, a
  /// shorter or missing one reuses it.
  int FilePut(const char *pszUrl, const char *pszFile, const void *pvData, unsigned int cbData);
  /// DELETE of the file named below the URL path, without a body.
  int FileDelete(const char *pszUrl, const char *pszFile);

  // ---- fields, in their documented order ----
  DWORD uDocument;  ///< document number (constructor, SetConnectionID); printed in the debug log header
  DWORD uCompanyID;  ///< company number (constructor, SetConnectionID)
  DWORD uConnection;  ///< connection number (constructor, SetConnectionID); the second value of every notification
  char szConnectionName[40];  ///< connection name of the debug log header, at most 39 characters (SetConnectionID)
  DWORD dwStatusCode;  ///< HTTP status code of the last response; 0 before one arrived
  DWORD dwLastOSError;  ///< last operating-system error code recorded by SetError
  DWORD dwLastInetError;  ///< last internet-library error code (12000..12999) recorded by SetError
  DWORD dwMaxRetries;  ///< most sends of one request while the server answers 1xx (SetMaxRetries); default 1
  char *pszModulePath;  ///< text block: folder LoadWinInet loads WININET.DLL from (SetModulePath); null: the system search
  char *pszProxySection;  ///< text block: section of the proxy settings file; default "PROXY"
  char *pszProxyIniFile;  ///< text block: name of the proxy settings file; default "ZEMPROXY.INI"
  char *pszMsg;  ///< 4096-byte scratch text for log lines
  char szLastError[256];  ///< text of the last error, at most 255 characters
  void *pvResponse;  ///< block: body of the last response, cbResponse bytes and one zero byte
  void *pvRequest;  ///< block: body of the last request as sent
  void *pvPostData;  ///< block: body of the next request (SetPostData)
  char *pvQueryData;  ///< text block: the query text as given (SetQueryData, Get)
  char *pszScheme;  ///< text block: scheme of the URL last set
  char *pszUserAgent;  ///< text block: user agent of the internet session; default "ZEM Data Services"
  char *pszHttpVersion;  ///< text block: HTTP version of the requests; default "HTTP/1.1"
  char *pszFileName;  ///< text block: file name of the file verbs (FilePut, FileDelete)
  char *pszHostName;  ///< text block: server host of the URL last set
  char *pszUrlPath;  ///< text block: path of the URL last set
  char *pszObjectName;  ///< text block: object name of the next request, built by the verbs
  char *pszUserName;  ///< text block: HTTP user name (URL, SetHttpUser)
  char *pszPassword;  ///< text block: HTTP password (URL, SetHttpPswd)
  DWORD cbRequest;  ///< bytes in pvRequest
  DWORD cbResponse;  ///< bytes in pvResponse, the terminating zero not counted
  DWORD cbQueryData;  ///< length of pvQueryData (after SetURL: with its terminator)
  DWORD cbResponseHeaders;  ///< characters in pvResponseHeaders
  DWORD cbPostData;  ///< bytes in pvPostData
  char *pvResponseHeaders;  ///< text block: raw header text of the last response
  int nDumpLineWidth;  ///< bytes per line of the data dumps in the debug log file; 50
  URL_COMPONENTSA urlComponents;  ///< the parts of the URL last set, as the internet library split it
  ZEMPROXYINFO m_ZemProxyInfo;  ///< proxy settings (ExportProxyInfo, ImportProxyInfo, GetProxyIniFile)
  ZEMHTTPHDR *pHttpHeaders;  ///< head of the request-header list (AddHttpHeader, ClearHttpHdrs)
  int bUseWinHttp;  ///< non-zero: the object was built to bind WINHTTP.DLL (binds nothing)
  int bNoContentLength;  ///< non-zero: requests go without a Content-Length header (SetNoContentLength)
  DWORD dwHandleReleaseMode;  ///< mask of the handles the next run releases first (SetHandleReleaseMode); default 1
  DWORD dwReceiveTimeout;  ///< receive time-out of the connection in ms; 0: the library default
  DWORD dwService;  ///< service of the connection; default 3 (INTERNET_SERVICE_HTTP)
  DWORD dwInetFlags;  ///< flags of the internet session and the connection (SetInetFlag)
  DWORD dwHttpFlags;  ///< flags of the request (SetHttpFlag; secure for https URLs)
  const char *pszVerb;  ///< verb of the next request: an entry of ZemHttpVerbTable, never freed
  INTERNET_PORT nPort;  ///< server port; 0: the scheme's default
  HINTERNET hOpenParam;  ///< supplied by the caller: used, never closed
  HINTERNET hOpen;  ///< internet session handle in use
  HINTERNET hConnect;  ///< connection handle, null when not connected
  HINTERNET hRequest;  ///< request handle of the last request
  HWND hWndParent;  ///< parent window given by SetWindowParent; kept for the caller
  HMODULE hJsProxy;  ///< auto-proxy library, loaded by AttemptAutoProxyUrl
  HMODULE hWinInet;  ///< the bound internet library; null when none is loaded
  ZEMNOTIFYPROC pfnNotifyResult;  ///< result procedure (SetNotifyResultProc), or null
  ZEMNOTIFYPROC pfnNotifyStatus;  ///< status procedure (SetNotifyStatusProc), or null
  void *pvNotifyResultData;  ///< first value handed to the result procedure
  void *pvNotifyStatusData;  ///< first value handed to the status procedure
  char **ppszLogLines;  ///< block of nLogCapacity slots: the service log lines, oldest first
  int nLogLines;  ///< service log lines held
  int nLogGrowBy;  ///< slots the line array grows by next; 0: it does not grow
  int nLogCapacity;  ///< slots allocated in ppszLogLines
  int nLogMaxLines;  ///< most service log lines kept; default 200, 0: logging off

  // ---- bound internet-library functions, in slot order 1 to 28 ----
  // Null when not bound. Slot 16 is never bound by LoadWinInet: the lookup
  // lives in the auto-proxy library.
  decltype(&::DetectAutoProxyUrl) m_WinInet_DetectAutoProxyUrl;  ///< slot 1: DetectAutoProxyUrl
  decltype(&::HttpAddRequestHeadersA) m_WinInet_HttpAddRequestHeadersA;  ///< slot 2: HttpAddRequestHeadersA
  decltype(&::HttpEndRequestA) m_WinInet_HttpEndRequestA;  ///< slot 3: HttpEndRequestA
  decltype(&::HttpOpenRequestA) m_WinInet_HttpOpenRequestA;  ///< slot 4: HttpOpenRequestA
  decltype(&::HttpQueryInfoA) m_WinInet_HttpQueryInfoA;  ///< slot 5: HttpQueryInfoA
  decltype(&::HttpSendRequestA) m_WinInet_HttpSendRequestA;  ///< slot 6: HttpSendRequestA
  decltype(&::HttpSendRequestExA) m_WinInet_HttpSendRequestExA;  ///< slot 7: HttpSendRequestExA
  decltype(&::InternetCanonicalizeUrlA) m_WinInet_InternetCanonicalizeUrlA;  ///< slot 8: InternetCanonicalizeUrlA
  decltype(&::InternetCrackUrlA) m_WinInet_InternetCrackUrl;  ///< slot 9: InternetCrackUrlA
  decltype(&::InternetCreateUrlA) m_WinInet_InternetCreateUrlA;  ///< slot 10: InternetCreateUrlA
  decltype(&::InternetCloseHandle) m_WinInet_InternetCloseHandle;  ///< slot 11: InternetCloseHandle
  decltype(&::InternetConnectA) m_WinInet_InternetConnectA;  ///< slot 12: InternetConnectA
  decltype(&::InternetErrorDlg) m_WinInet_InternetErrorDlg;  ///< slot 13: InternetErrorDlg
  decltype(&::InternetGetCookieA) m_WinInet_InternetGetCookieA;  ///< slot 14: InternetGetCookieA
  decltype(&::InternetGetCookieExA) m_WinInet_InternetGetCookieExA;  ///< slot 15: InternetGetCookieExA
  pfnInternetGetProxyInfo m_WinInet_InternetGetProxyInfo;  ///< slot 16: InternetGetProxyInfo of the auto-proxy library (AttemptAutoProxyUrl)
  decltype(&::InternetGetLastResponseInfoA) m_WinInet_InternetGetLastResponseInfoA;  ///< slot 17: InternetGetLastResponseInfoA
  decltype(&::InternetInitializeAutoProxyDll) m_WinInet_InternetInitializeAutoProxyDll;  ///< slot 18: InternetInitializeAutoProxyDll
  decltype(&::InternetOpenA) m_WinInet_InternetOpenA;  ///< slot 19: InternetOpenA
  decltype(&::InternetQueryDataAvailable) m_WinInet_InternetQueryDataAvailable;  ///< slot 20: InternetQueryDataAvailable
  decltype(&::InternetQueryOptionA) m_WinInet_InternetQueryOptionA;  ///< slot 21: InternetQueryOptionA
  decltype(&::InternetReadFile) m_WinInet_InternetReadFile;  ///< slot 22: InternetReadFile
  decltype(&::InternetReadFileExA) m_WinInet_InternetReadFileExA;  ///< slot 23: InternetReadFileExA
  decltype(&::InternetSetCookieA) m_WinInet_InternetSetCookieA;  ///< slot 24: InternetSetCookieA
  decltype(&::InternetSetOptionA) m_WinInet_InternetSetOptionA;  ///< slot 25: InternetSetOptionA
  decltype(&::InternetSetStatusCallbackA) m_WinInet_InternetSetStatusCallbackA;  ///< slot 26: InternetSetStatusCallbackA
  // The system's headers declare no function of this name: the entry has the
  // status callback's signature.
  INTERNET_STATUS_CALLBACK m_WinInet_InternetStatusCallbackA;  ///< slot 27: InternetStatusCallbackA
  decltype(&::InternetWriteFile) m_WinInet_InternetWriteFile;  ///< slot 28: InternetWriteFile

 private:
  /// Formats one line into pszMsg (a local buffer when pszMsg could not be
  /// allocated) and stores it as LogAddLine does; the line is the object's
  /// own, so it needs no probe.
  void LogPrintf(const char *pszFormat, ...) __attribute__((format(printf, 2, 3)));
  /// LogAddLine without the probe of the text; `bProbe` asks for it once the
  /// line is known to be kept.
  int StoreLogLine(const char *pszText, bool bProbe);
  /// Records that a caller's buffer or text could not be reached (998) under
  /// the member's own text.
  void SetAccessError(const char *pszFormat);
};

// ---- status texts ----
/// Looks up an HTTP status code in the table of 39 known codes. Sizes count the
/// terminating NUL: at most size - 1 characters are copied and the text is
/// terminated, a size of 0 writes nothing, so sizeof(buffer) is always safe. A
/// null buffer is skipped. Returns 1 for a known code; 0 for an unknown one,
/// with each buffer set to the empty text. A buffer that cannot be written is
/// not touched: result 0, last error 998 (ERROR_NOACCESS).
extern "C" ZEMHTTP_API int GetHttpStatusStrings(unsigned int uCode, char *pszShort, unsigned int cbShort,
                                                char *pszLong, unsigned int cbLong);

#endif  // ZEM_ZEMHTTP_H
