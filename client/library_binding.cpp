// Loading the internet library at run time and binding its functions into
// the object's table, so the caller can choose the folder it comes from and
// the object survives a machine without it.
#include <cstring>

#include "ZemHttp.h"
#include "ZemSys.h"
#include "client/usable_str.h"

namespace {

constexpr char kWinInetName[] = "WININET.DLL";
// A module path longer than this is cut, leaving room in a MAX_PATH buffer
// for the backslash and the library name.
constexpr int kModulePathMax = 246;

// Stores the export as returned: a missing one stays null and is found out by
// the operation that needs it.
template <typename Entry>
void Bind(Entry &entry, HMODULE hModule, const char *pszExport) {
  FARPROC proc = GetProcAddress(hModule, pszExport);
  entry = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

int CZemHttp::LoadWinInet() {
  // A library loaded by an earlier call stays loaded: the table may still
  // point into it if this load fails.
  hWinInet = nullptr;
  char szPath[MAX_PATH] = "";
  if (zem::IsUsableStr(pszModulePath)) {
    SysStrCopyLimit(szPath, pszModulePath, kModulePathMax);
    std::strcat(szPath, "\\");
  }
  std::strcat(szPath, kWinInetName);

  DWORD status = SysLoadLibrary(&hWinInet, szPath);
  if (status != 0) {
    SetError(static_cast<int>(status), "CZemHttp::LoadWinInet OS exception error#: %d", 126);
    return 0;
  }
  Bind(m_WinInet_DetectAutoProxyUrl, hWinInet, "DetectAutoProxyUrl");
  Bind(m_WinInet_HttpAddRequestHeadersA, hWinInet, "HttpAddRequestHeadersA");
  Bind(m_WinInet_HttpEndRequestA, hWinInet, "HttpEndRequestA");
  Bind(m_WinInet_HttpOpenRequestA, hWinInet, "HttpOpenRequestA");
  Bind(m_WinInet_HttpQueryInfoA, hWinInet, "HttpQueryInfoA");
  Bind(m_WinInet_HttpSendRequestA, hWinInet, "HttpSendRequestA");
  Bind(m_WinInet_HttpSendRequestExA, hWinInet, "HttpSendRequestExA");
  Bind(m_WinInet_InternetCanonicalizeUrlA, hWinInet, "InternetCanonicalizeUrlA");
  Bind(m_WinInet_InternetCrackUrl, hWinInet, "InternetCrackUrlA");
  Bind(m_WinInet_InternetCreateUrlA, hWinInet, "InternetCreateUrlA");
  Bind(m_WinInet_InternetCloseHandle, hWinInet, "InternetCloseHandle");
  Bind(m_WinInet_InternetConnectA, hWinInet, "InternetConnectA");
  Bind(m_WinInet_InternetErrorDlg, hWinInet, "InternetErrorDlg");
  Bind(m_WinInet_InternetGetCookieA, hWinInet, "InternetGetCookieA");
  Bind(m_WinInet_InternetGetCookieExA, hWinInet, "InternetGetCookieExA");
  Bind(m_WinInet_InternetGetLastResponseInfoA, hWinInet, "InternetGetLastResponseInfoA");
  Bind(m_WinInet_InternetInitializeAutoProxyDll, hWinInet, "InternetInitializeAutoProxyDll");
  Bind(m_WinInet_InternetOpenA, hWinInet, "InternetOpenA");
  Bind(m_WinInet_InternetQueryDataAvailable, hWinInet, "InternetQueryDataAvailable");
  Bind(m_WinInet_InternetQueryOptionA, hWinInet, "InternetQueryOptionA");
  Bind(m_WinInet_InternetReadFile, hWinInet, "InternetReadFile");
  Bind(m_WinInet_InternetReadFileExA, hWinInet, "InternetReadFileExA");
  Bind(m_WinInet_InternetSetCookieA, hWinInet, "InternetSetCookieA");
  Bind(m_WinInet_InternetSetOptionA, hWinInet, "InternetSetOptionA");
  Bind(m_WinInet_InternetSetStatusCallbackA, hWinInet, "InternetSetStatusCallbackA");
  Bind(m_WinInet_InternetStatusCallbackA, hWinInet, "InternetStatusCallbackA");
  Bind(m_WinInet_InternetWriteFile, hWinInet, "InternetWriteFile");
  // The proxy lookup is not an export of this library; it is bound from the
  // auto-proxy library when first needed.
  m_WinInet_InternetGetProxyInfo = nullptr;
  return 1;
}

int CZemHttp::LoadWinHttp() {
  // This choice binds nothing: every entry stays null, so the object reports
  // the system unavailable and its internet operations fail as not loaded.
  hWinInet = nullptr;
  DWORD status = SysLoadLibrary(&hWinInet, "WINHTTP.DLL");
  if (status != 0) {
    SetError(static_cast<int>(status), "CZemHttp::LoadWinHttp OS exception error#: %d", 126);
    return 0;
  }
  return 1;
}
