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

std::string Text(LPCSTR text, DWORD length) {
  if (text == nullptr) return std::string();
  return length != 0 ? std::string(text, strnlen(text, length)) : std::string(text);
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
      if (lpScriptBuffer->dwStructSize < sizeof(AUTO_PROXY_SCRIPT_BUFFER) || lpScriptBuffer->lpszScriptBuffer == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
      }
      script = Text(lpScriptBuffer->lpszScriptBuffer, lpScriptBuffer->dwScriptBufferSize);
    } else if (lpszDownloadedTempFile != nullptr && *lpszDownloadedTempFile != '\0') {
      error = ReadScriptFile(lpszDownloadedTempFile, &script);
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
    if (lplpszProxyHostName == nullptr || lpdwProxyHostNameLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const std::string url = Text(lpszUrl, dwUrlLength);
    std::string host = Text(lpszUrlHostName, dwUrlHostNameLength);
    if (url.empty() && host.empty()) return Fail(ERROR_INVALID_PARAMETER);
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
