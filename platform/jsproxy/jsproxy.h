// The automatic-proxy library "jsproxy.dll": proxy auto-config (PAC) scripts
// evaluated for a URL. A caller loads it by name and binds its three entry
// points with GetProcAddress.
//
// InternetInitializeAutoProxyDll takes a script from a file or a buffer (or,
// with neither, forgets the one it had); InternetGetProxyInfo answers the
// script's FindProxyForURL result ("PROXY host:port; DIRECT") in a block of
// local memory that the caller releases with LocalFree. Without an
// initialising script the lookup uses the PAC URL of the environment
// (ZEMHTTP_PAC_URL), fetched once per process through the internet library.
// InternetDeInitializeAutoProxyDll forgets the script and the fetched one.
//
// Errors: ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT when no script could be
// had (none configured, the file unreadable, the fetch failed),
// ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT when the script does not compile or
// does not answer, ERROR_INTERNET_TIMEOUT when it runs past its time limit.
#ifndef ZEM_JSPROXY_JSPROXY_H
#define ZEM_JSPROXY_JSPROXY_H

#include "windows.h"

typedef struct {
  DWORD dwStructSize;
  LPSTR lpszScriptBuffer;
  DWORD dwScriptBufferSize;
} AUTO_PROXY_SCRIPT_BUFFER, *LPAUTO_PROXY_SCRIPT_BUFFER;

// The helper table the caller may hand over; the script's helpers are the
// library's own, so it is accepted and not called.
typedef struct AutoProxyHelperFunctions AutoProxyHelperFunctions;

typedef BOOL(CALLBACK *pfnInternetInitializeAutoProxyDll)(DWORD dwVersion, LPSTR lpszDownloadedTempFile,
                                                          LPSTR lpszMime,
                                                          AutoProxyHelperFunctions *lpAutoProxyCallbacks,
                                                          LPAUTO_PROXY_SCRIPT_BUFFER lpAutoProxyScriptBuffer);
typedef BOOL(CALLBACK *pfnInternetDeInitializeAutoProxyDll)(LPSTR lpszMime, DWORD dwReserved);

#endif  // ZEM_JSPROXY_JSPROXY_H
