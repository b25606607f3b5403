// The debug log export: the connection identification and the appended
// "HttpLog.TXT" report with its printable data dumps.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"

namespace {

constexpr DWORD kScratchBytes = 4096;  // bytes of pszMsg
constexpr int kDefaultWidth = 50;
// A dump line and its CRLF are built in the scratch text.
constexpr int kWidthMax = static_cast<int>(kScratchBytes) - 2;
constexpr int kNameMax = 39;

// Where the export builds its lines: the scratch text, or a buffer of the
// same size when the scratch text could not be allocated.
class LineBuffer {
 public:
  explicit LineBuffer(char *pszMsg) : psz_(pszMsg != nullptr ? pszMsg : local_) {}
  char *get() { return psz_; }

 private:
  char local_[kScratchBytes];
  char *psz_;
};

// Writes to one open file of the support library; write failures are not
// looked at (a short log is better than none).
class LogFile {
 public:
  LogFile(int hFile, char *pszLine) : hFile_(hFile), pszLine_(pszLine) {}

  void Write(const void *pv, size_t cb) {
    if (cb != 0) SysFileWrite(hFile_, pv, static_cast<DWORD>(cb), nullptr);
  }
  void Print(const char *pszFormat, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, pszFormat);
    const int n = std::vsnprintf(pszLine_, kScratchBytes, pszFormat, args);
    va_end(args);
    if (n > 0) Write(pszLine_, std::min<size_t>(static_cast<size_t>(n), kScratchBytes - 1));
  }

  // The ruler, the data in lines of nWidth characters (only " " to "z" shown
  // as themselves, so the dump stays readable and never carries a line end
  // of its own), the last line padded with blanks, then an empty line.
  uint64_t Dump(const unsigned char *pData, uint64_t cbData, int nWidth) {
    const size_t cchWidth = static_cast<size_t>(nWidth);
    for (size_t i = 0; i < cchWidth; ++i) pszLine_[i] = (i + 1) % 10 == 0 ? '|' : '-';
    std::memcpy(pszLine_ + cchWidth, "\r\n", 2);
    Write(pszLine_, cchWidth + 2);
    uint64_t cbShown = 0;
    while (cbShown < cbData) {
      std::memset(pszLine_, ' ', cchWidth);
      const size_t cbLine = static_cast<size_t>(std::min<uint64_t>(cchWidth, cbData - cbShown));
      for (size_t i = 0; i < cbLine; ++i) {
        const unsigned char ch = pData[cbShown + i];
        pszLine_[i] = ch >= 0x20 && ch <= 0x7A ? static_cast<char>(ch) : '_';
      }
      std::memcpy(pszLine_ + cchWidth, "\r\n", 2);
      Write(pszLine_, cchWidth + 2);
      cbShown += cbLine;
    }
    Write("\r\n", 2);
    return cbShown;
  }

 private:
  int hFile_;
  char *pszLine_;
};

// The bytes of a data pair that can be shown: its length, never past the
// block it describes.
uint64_t ShownLength(const void *pv, DWORD cb) { return std::min(cb, ZemMemSize(pv)); }

}  // namespace

int CZemHttp::SetConnectionID(unsigned int uDoc, unsigned int uCompany, unsigned int uConn, const char *pszName) {
  LogPrintf("CZemHttp::SetConnectionID( Doc=%d, Cump=%d, Sckt=%d, name=%.39s )", static_cast<int>(uDoc),
            static_cast<int>(uCompany), static_cast<int>(uConn), zem::LoggableStr(pszName));
  uDocument = uDoc;
  uCompanyID = uCompany;
  uConnection = uConn;
  if (zem::IsUnreadableStr(pszName)) {
    // The numbers are taken; the name held stays.
    SetAccessError("CZemHttp::SetConnectionID - name not readable, error# %d");
  } else if (zem::IsUsableStr(pszName)) {
    SysStrCopyLimit(szConnectionName, pszName, kNameMax);
  }
  return 1;
}

int CZemHttp::GetDebugLog(const char *pszFile, DWORD dwFlags) {
  // A name that cannot be read ends the export as its fault does: nothing
  // written, nothing recorded.
  if (zem::IsUnreadableStr(pszFile)) return 0;
  const char *pszPath = zem::IsUsableStr(pszFile) ? pszFile : "HttpLog.TXT";
  if (nLogLines == 0 || ppszLogLines == nullptr || dwFlags == 0) return 0;

  int hFile = 0;
  if (SysFileOpen(&hFile, pszPath, 3, 0x20) == 0) {
    // Exports append: several objects and requests share one file.
    SysFileSeek(hFile, 0, 2, nullptr);
  } else if (SysFileCreate(&hFile, pszPath, 0) != 0) {
    return 0;
  }
  LineBuffer line(pszMsg);
  LogFile file(hFile, line.get());

  if ((dwFlags & ZEMHTTP_LOG_CONNECTION) != 0) {
    // The name field may have been written without a terminator.
    char szName[kNameMax + 1];
    std::memcpy(szName, szConnectionName, kNameMax);
    szName[kNameMax] = '\0';
    file.Print("\r\n\r\nConnection Name=%.39s \r\n", szName[0] != '\0' ? szName : "<CONNECTION NOT NAMED>");
    file.Print("Document = %d, Company ID = %d, Connection Number = %d \r\n\r\n", static_cast<int>(uDocument),
               static_cast<int>(uCompanyID), static_cast<int>(uConnection));
  }
  if ((dwFlags & ZEMHTTP_LOG_DATE) != 0) {
    DWORD dwDate = 0;
    char szDate[32] = "";
    SysGetDate(&dwDate);
    SysFormatDate(dwDate, dwDate, szDate, 1, 0);
    file.Print("Date: %s \r\n", szDate);
  }
  if ((dwFlags & ZEMHTTP_LOG_TIME) != 0) {
    DWORD dwTime = 0;
    char szTime[32] = "";
    SysGetTime(&dwTime);
    SysFormatTime(dwTime, szTime, 0x2222);
    file.Print("Time: %s \r\n", szTime);
  }
  if ((dwFlags & ZEMHTTP_LOG_LINES) != 0) {
    file.Print("\r\nHttp service log has %d lines:\r\n\r\n", nLogLines);
    for (int n = 0; n < nLogLines; ++n) {
      file.Write("-- ", 3);
      // Lines are written as they are, whatever their length.
      if (ppszLogLines[n] != nullptr) file.Write(ppszLogLines[n], std::strlen(ppszLogLines[n]));
      file.Write("\r\n", 2);
    }
    file.Write("\r\n\r\n", 4);
  }
  if ((dwFlags & ZEMHTTP_LOG_DATA) != 0) {
    const int nWidth = nDumpLineWidth > 0 && nDumpLineWidth <= kWidthMax ? nDumpLineWidth : kDefaultWidth;
    auto dump = [&](const char *pszHeading, const void *pv, DWORD cb) {
      const uint64_t cbShown = ShownLength(pv, cb);
      if (pv == nullptr || cbShown == 0) return;
      file.Print(pszHeading, static_cast<int>(cbShown));
      file.Dump(static_cast<const unsigned char *>(pv), cbShown, nWidth);
    };
    dump("\r\nHttp QueryString contains %d characters:\r\n\r\n", pvQueryData, cbQueryData);
    dump("\r\nHttp Request contains %d characters:\r\n\r\n", pvRequest, cbRequest);
    dump("\r\nHttp Response contains %d characters:\r\n\r\n", pvResponse, cbResponse);
    dump("\r\nHttp Response Headers contains %d characters:\r\n\r\n", pvResponseHeaders, cbResponseHeaders);
  }
  SysFileClose(&hFile);
  return 1;
}

int CZemHttp::FormatLogData(int hFile, const char *pData, int nLength, int nWidth) {
  if (hFile <= 0) return 0;
  if (nWidth == 0) nWidth = kDefaultWidth;
  // A line must fit the scratch text; data that cannot be read is refused
  // before anything is written.
  if (nWidth < 0 || nWidth > kWidthMax) {
    SetError(ERROR_INVALID_PARAMETER, "CZemHttp::FormatLogData - line width out of range, error# %d", 0);
    return 0;
  }
  const uint64_t cbData = nLength > 0 ? static_cast<uint64_t>(nLength) : 0;
  if (cbData != 0 && (pData == nullptr || IsBadReadPtr(pData, static_cast<UINT_PTR>(cbData)))) {
    SetAccessError("CZemHttp::FormatLogData - data not readable, error# %d");
    return 0;
  }
  LineBuffer line(pszMsg);
  LogFile file(hFile, line.get());
  return static_cast<int>(file.Dump(reinterpret_cast<const unsigned char *>(pData), cbData, nWidth));
}
