// The entry points of "jsproxy.dll". They see the platform's kernel services
// only: the internet library declares a routine of the same name with
// another signature, so its header stays out of this file.
#include <cstring>
#include <string>

#include "jsproxy.h"
#include "pac_eval.h"
#include "script_source.h"

namespace zem::jsproxy {
namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// A caller's text of at most `length` characters (0: up to its NUL); false
// when it cannot be read. No text is an empty one.
bool ReadText(LPCSTR text, DWORD length, std::string *out) {
  out->clear();
  if (text == nullptr) return true;
  if (IsBadStringPtrA(text, length != 0 ? length : 1u << 20)) return false;
  out->assign(text, strnlen(text, length != 0 ? length : 1u << 20));
  return true;
}

// The host of "scheme://[user@]host[:port]/...", or of a bare "host[:port]".
std::string HostOf(const std::string &url) {
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  const size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority.front() == '[') return authority.substr(1, authority.find(']') - 1);
  return authority.substr(0, authority.find(':'));
}

}  // namespace
}  // namespace zem::jsproxy

using namespace zem::jsproxy;

extern "C" ZEM_EXPORT BOOL CALLBACK InternetInitializeAutoProxyDll(DWORD, LPSTR lpszDownloadedTempFile, LPSTR,
                                                                   AutoProxyHelperFunctions *,
                                                                   LPAUTO_PROXY_SCRIPT_BUFFER lpScriptBuffer) {
  try {
    std::string script;
    DWORD error = 0;
    if (lpScriptBuffer != nullptr) {
      if (IsBadReadPtr(lpScriptBuffer, sizeof(AUTO_PROXY_SCRIPT_BUFFER)) ||
          lpScriptBuffer->dwStructSize < sizeof(AUTO_PROXY_SCRIPT_BUFFER) ||
          lpScriptBuffer->lpszScriptBuffer == nullptr ||
          !ReadText(lpScriptBuffer->lpszScriptBuffer, lpScriptBuffer->dwScriptBufferSize, &script)) {
        return Fail(ERROR_INVALID_PARAMETER);
      }
    } else {
      std::string path;
      if (!ReadText(lpszDownloadedTempFile, 0, &path)) return Fail(ERROR_INVALID_PARAMETER);
      if (!path.empty()) error = ReadScriptFile(path, &script);
    }
    // Neither a file nor a buffer: back to the configured script.
    SetScript(script, error);
    if (error != 0) return Fail(error);
    SetLastError(0);
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

extern "C" ZEM_EXPORT BOOL CALLBACK InternetDeInitializeAutoProxyDll(LPSTR, DWORD) {
  SetScript(std::string(), 0);
  SetLastError(0);
  return TRUE;
}

extern "C" ZEM_EXPORT BOOL CALLBACK InternetGetProxyInfo(LPCSTR lpszUrl, DWORD dwUrlLength, LPSTR lpszUrlHostName,
                                                         DWORD dwUrlHostNameLength, LPSTR *lplpszProxyHostName,
                                                         LPDWORD lpdwProxyHostNameLength) {
  try {
    std::string url, host;
    if (IsBadWritePtr(lplpszProxyHostName, sizeof(LPSTR)) || IsBadWritePtr(lpdwProxyHostNameLength, sizeof(DWORD)) ||
        !ReadText(lpszUrl, dwUrlLength, &url) || !ReadText(lpszUrlHostName, dwUrlHostNameLength, &host) ||
        (url.empty() && host.empty())) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    if (host.empty()) host = HostOf(url);
    std::string script;
    if (const DWORD error = CurrentScript(&script)) return Fail(error);
    const PacAnswer answer = EvaluatePac(script, url.empty() ? "http://" + host + "/" : url, host, PacTimeLimitMs());
    if (answer.error != 0) return Fail(answer.error);
    auto *block = static_cast<LPSTR>(LocalAlloc(LPTR, answer.text.size() + 1));
    if (block == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(block, answer.text.c_str(), answer.text.size() + 1);
    *lplpszProxyHostName = block;
    *lpdwProxyHostNameLength = static_cast<DWORD>(answer.text.size() + 1);
    SetLastError(0);
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}
