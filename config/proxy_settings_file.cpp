// Loading the proxy settings record from a private-profile (INI) file.
//
// A file name without a folder is looked for in the current folder: that is
// where the platform's profile reader looks, and the existence check opens
// the same relative name, so both see the same file.
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"

namespace {

// The configuration method letters: a letter's position is its method
// number. Only these exact characters count.
constexpr char kMethodLetters[] = "XMWJI3041";
constexpr int kMethodListMax = 11;  // letters kept of szProxyCfg
// The reader's buffer: a value arrives cut to 254 characters.
constexpr DWORD kValueBufferSize = 255;

bool IsMethodLetter(char ch) { return ch != '\0' && SysStrChr(kMethodLetters, static_cast<unsigned char>(ch)) != nullptr; }

// One "X" per character of a password read from the file.
void MaskWithX(char *pszMask, const char *pszValue) {
  size_t n = 0;
  for (; pszValue[n] != '\0'; ++n) pszMask[n] = 'X';
  pszMask[n] = '\0';
}

}  // namespace

void CZemHttp::GetProxyIniFile(const char *pszFile, const char *pszSection) {
  LogPrintf("CZemHttp::GetProxyIniFile( %s, %s )", zem::LoggableStr(pszFile), zem::LoggableStr(pszSection));
  // A load replaces the record wholesale, even when the file turns out to be
  // missing; the defaults are not restored.
  std::memset(&m_ZemProxyInfo, 0, sizeof m_ZemProxyInfo);
  const char *const kFailed = "CZemHttp::GetProxyIniFile FAILED in SetURL, error# %d";
  if (zem::IsUnreadableStr(pszFile) || zem::IsUnreadableStr(pszSection)) {
    // Names that cannot be read leave the names used before in place.
    SetError(ERROR_NOACCESS, kFailed, 2);
    return;
  }
  if (pszFile != nullptr) {
    ZemMemFree(&pszProxyIniFile);
    if (zem::IsUsableStr(pszFile)) SysStrAssign(&pszProxyIniFile, pszFile);
  }
  if (pszSection != nullptr) {
    ZemMemFree(&pszProxySection);
    SysStrAssign(&pszProxySection, zem::IsUsableStr(pszSection) ? pszSection : "PROXY");
  }
  if (!zem::IsUsableStr(pszProxyIniFile) || !zem::IsUsableStr(pszProxySection)) {
    SetError(0, kFailed, 2);
    return;
  }
  WORD wAttributes = 0;
  if (const int nStatus = SysFileStatus(pszProxyIniFile, &wAttributes)) {
    SetError(nStatus, kFailed, 2);
    return;
  }
  LogAddLine("CZemHttp::GetProxyIniFile() - File exists.");

  char szValue[kValueBufferSize];
  auto read = [&](const char *pszKey) {
    std::memset(szValue, 0, sizeof szValue);
    GetPrivateProfileStringA(pszProxySection, pszKey, "", szValue, kValueBufferSize, pszProxyIniFile);
    return szValue[0] != '\0';
  };

  if (read("szProxyCfg")) {
    int nLetters = 0;
    for (const char *p = szValue; *p != '\0' && nLetters < kMethodListMax; ++p) {
      if (IsMethodLetter(*p)) m_ZemProxyInfo.szProxyCfg[nLetters++] = static_cast<unsigned char>(*p);
    }
    if (m_ZemProxyInfo.szProxyCfg[0] != 0) {
      LogPrintf("CZemHttp::GetProxyIniFile() SetUpString = %s", szValue);
      m_ZemProxyInfo.bInitialized = 1;
    }
  }
  if (read("chProxyAccessType") && IsMethodLetter(szValue[0])) {
    m_ZemProxyInfo.chProxyAccessType = static_cast<unsigned char>(szValue[0]);
    LogPrintf("CZemHttp::GetProxyIniFile() Proxy Access type(char) = %s", szValue);
    m_ZemProxyInfo.bInitialized = 1;
  }

  // The text keys, in the order they are read. The log shows the value as
  // read, before it is cut to its member; passwords only as their length.
  struct TextKey {
    const char *pszKey;
    char *pszMember;
    size_t cbMember;
    const char *pszLogFormat;
    bool bSecret;
  };
  tagZEMPROXYINFO &info = m_ZemProxyInfo;
  const TextKey keys[] = {
      {"szProxyNames", info.szProxyNames, sizeof info.szProxyNames,
       "CZemHttp::GetProxyIniFile() - Named Proxy URL = %s", false},
      {"szProxyBypass", info.szProxyBypass, sizeof info.szProxyBypass,
       "CZemHttp::GetProxyIniFile() - Proxy bypass URL(s) = %s", false},
      {"szUsrAgt", info.szUsrAgt, sizeof info.szUsrAgt, "CZemHttp::GetProxyIniFile() - Named User Agent = %s", false},
      {"szProxyUser", info.szProxyUser, sizeof info.szProxyUser, "CZemHttp::GetProxyIniFile() - Http User name = %s",
       false},
      {"szPassWord", info.szPassWord, sizeof info.szPassWord, "CZemHttp::GetProxyIniFile() - Http Password = %s",
       true},
      {"szUserName", info.szUserName, sizeof info.szUserName, "CZemHttp::GetProxyIniFile() - Proxy Username = %s",
       false},
      {"szProxyPswd", info.szProxyPswd, sizeof info.szProxyPswd, "CZemHttp::GetProxyIniFile() - Proxy Password = %s",
       true},
  };
  for (const TextKey &key : keys) {
    if (!read(key.pszKey)) continue;
    SysStrCopyN(key.pszMember, szValue, static_cast<int>(key.cbMember) - 1);
    char szMask[kValueBufferSize];
    if (key.bSecret) MaskWithX(szMask, szValue);
    LogPrintf(key.pszLogFormat, key.bSecret ? szMask : szValue);
    m_ZemProxyInfo.bInitialized = 1;
  }
}
