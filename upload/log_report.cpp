// ScraWriteLogs: the report of a task appended to "ScLogs.TXT" (or the file the
// caller names): title, date and time, connection parameters, status log,
// last response header and character dumps of the data, each chosen by a flag.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "upload/record_fields.h"
#include "upload/status_display.h"
#include "upload/status_log.h"
#include "upload/task_list.h"
#include "upload/task_record.h"

using namespace zem::upload;

namespace {

constexpr char kDefaultFile[] = "ScLogs.TXT";
constexpr size_t kLineWidth = 60;     // title, date and time lines
constexpr size_t kDateColumns = 52;   // the date's field when the time follows it
constexpr size_t kRowBytes = 50;      // bytes per dump row
constexpr size_t kOffsetColumns = 7;  // the row's offset in front of them

class ReportFile {
 public:
  explicit ReportFile(const char *pszPath) {
    // Appended to, never truncated; created when it does not exist.
    if (SysFileOpen(&hFile_, pszPath, 2, 0) == 0) {
      SysFileSeek(hFile_, 0, 2, nullptr);
    } else if (SysFileCreate(&hFile_, pszPath, 0) != 0) {
      hFile_ = 0;
    }
  }
  ~ReportFile() {
    if (hFile_ != 0) SysFileClose(&hFile_);
  }
  ReportFile(const ReportFile &) = delete;
  ReportFile &operator=(const ReportFile &) = delete;

  bool ok() const { return hFile_ != 0; }
  void Write(const void *pv, size_t cb) {
    if (cb != 0) SysFileWrite(hFile_, pv, static_cast<DWORD>(cb), nullptr);
  }
  void Write(const char *psz) { Write(psz, std::strlen(psz)); }
  void Write(const std::string &s) { Write(s.data(), s.size()); }
  void Printf(const char *pszFormat, ...) __attribute__((format(printf, 2, 3))) {
    char szLine[SC_MSG_SIZE];
    va_list args;
    va_start(args, pszFormat);
    const int n = std::vsnprintf(szLine, sizeof szLine, pszFormat, args);
    va_end(args);
    if (n > 0) Write(szLine, std::min(static_cast<size_t>(n), sizeof szLine - 1));
  }

 private:
  int hFile_ = 0;
};

std::string Padded(std::string text, size_t nWidth) {
  if (text.size() < nWidth) text.append(nWidth - text.size(), ' ');
  return text;
}

std::string RightAligned(const std::string &text, size_t nWidth) {
  return text.size() < nWidth ? std::string(nWidth - text.size(), ' ') + text : text;
}

void WriteTitle(ReportFile &file, const REQUEST_CONTEXT *ctx) {
  const char *pszAgent = ctx->szUserAgent;
  const void *pvEnd = std::memchr(pszAgent, '\0', sizeof ctx->szUserAgent);
  std::string agent(pszAgent, pvEnd != nullptr ? static_cast<const char *>(pvEnd) : pszAgent + sizeof ctx->szUserAgent);
  if (agent.size() > kLineWidth) agent.resize(kLineWidth);
  // The odd blank goes to the left.
  const size_t nBlanks = kLineWidth - agent.size();
  const size_t nRight = nBlanks / 2;
  file.Write(std::string(nBlanks - nRight, ' ') + agent + std::string(nRight, ' '));
  file.Write("\r\n\r\n");
}

// The date, the time, or both on one line of 60 columns: the date alone on
// the right, the date on the left with the time ending at column 60, the time
// alone where it stands on the shared line.
void WriteDateTime(ReportFile &file, DWORD dwFlags) {
  std::string line;
  if (dwFlags & SC_LOG_DATE) {
    char szDate[9];
    DateText(szDate);
    const std::string date = Padded(szDate, 9);
    line = (dwFlags & SC_LOG_TIME) ? Padded(date, kDateColumns) : RightAligned(date, kLineWidth);
  } else {
    line.assign(kDateColumns, ' ');
  }
  if (dwFlags & SC_LOG_TIME) {
    char szTime[9];
    TimeText(szTime);
    line += Padded(szTime, 9);
  }
  line.resize(kLineWidth, ' ');
  file.Write(line);
  file.Write("\r\n\r\n");
}

void WriteConnection(ReportFile &file, const REQUEST_CONTEXT *ctx) {
  file.Write("Connection Paramters(for last connection made):\r\n\r\n");
  file.Printf("-- Document Number = %d \r\n", static_cast<int>(ctx->uDocument));
  file.Printf("-- Internet handle = %llx \r\n", HandleBits(ctx->hInternet));
  file.Printf("-- Connect handle = %llx \r\n", HandleBits(ctx->hConnect));
  file.Printf("-- Request handle = %llx \r\n", HandleBits(ctx->hRequest));
  file.Printf("-- Window handle = %llx \r\n", HandleBits(ctx->hWnd));
  file.Printf("-- Http verb = %s \r\n", ctx->szVerb);
  file.Printf("-- Http version = %s \r\n", ctx->szHttpVersion);
  file.Printf("-- Http HostName = %s \r\n", UsableOrEmpty(ctx->pszHostName));
  file.Printf("-- Http AppName = %s \r\n", UsableOrEmpty(ctx->pszAppName));
  if (char **ppszHeaders = ctx->ppszHeaders) {
    for (int i = 0; i < SC_HEADER_SLOTS && ppszHeaders[i] != nullptr; ++i) {
      file.Printf("-- Http request-headers(%d) = %s \r\n", i, ppszHeaders[i]);
    }
  }
  file.Printf("-- Internet Port Number = %d \r\n", ctx->nPort);
  file.Printf("-- Internet Service = %d \r\n", static_cast<int>(ctx->dwService));
  file.Printf("-- Internet Connect Flags = %x \r\n", static_cast<unsigned>(ctx->dwInetFlags));
  file.Printf("-- Http Request Flags = %x \r\n", static_cast<unsigned>(ctx->dwHttpFlags));
  file.Write("\r\n\r\n");
}

void WriteStatusLog(ReportFile &file, REQUEST_CONTEXT *ctx) {
  bool bStarted = false;
  VisitStatusLines(ctx, [&](const char *pszLine) {
    if (!bStarted) {
      file.Write("Status Log:\r\n\r\n");
      bStarted = true;
    }
    if (pszLine != nullptr) file.Write(pszLine);
    file.Write("\r\n");
  });
  if (bStarted) file.Write("End status log\r\n");
}

void WriteLastHeader(ReportFile &file, const REQUEST_CONTEXT *ctx) {
  file.Write("\r\nLast HTTP Prefill Upload Header:\r\n");
  if (ctx->pvRespHeaders != nullptr) {
    file.Write(ctx->pvRespHeaders, std::min<size_t>(ctx->cbRespHeaders, ZemMemSize(ctx->pvRespHeaders)));
  }
  file.Write("\r\n\r\n");
}

// One byte per column: control characters show as "_", and so does the rest
// of a last row shorter than 50 bytes.
void WriteDump(ReportFile &file, const unsigned char *pb, size_t cb) {
  file.Write("Byte          +10       +20       +30       +40       +50\r\n");
  file.Write("offset ---------|---------|---------|---------|---------|\r\n\r\n");
  for (size_t offset = 0; offset < cb; offset += kRowBytes) {
    char szRow[kOffsetColumns + kRowBytes + 1];
    char szOffset[24];
    std::snprintf(szOffset, sizeof szOffset, "%-7zu", offset);
    std::memcpy(szRow, szOffset, kOffsetColumns);
    for (size_t i = 0; i < kRowBytes; ++i) {
      const bool bInside = offset + i < cb;
      const unsigned char b = bInside ? pb[offset + i] : 0;
      szRow[kOffsetColumns + i] = bInside && b >= 32 ? static_cast<char>(b) : '_';
    }
    file.Write(szRow, kOffsetColumns + kRowBytes);
    file.Write("\r\n");
  }
  file.Write("\r\n\r\n");
}

void WriteSection(ReportFile &file, const char *pszTitle, const void *pv, size_t cb) {
  if (pv == nullptr || cb == 0) {
    file.Write("   <NO DATA>\r\n\r\n");
    return;
  }
  file.Printf(pszTitle, static_cast<int>(cb));
  WriteDump(file, static_cast<const unsigned char *>(pv), cb);
}

void WriteDumps(ReportFile &file, const REQUEST_CONTEXT *ctx, DWORD dwFlags) {
  const void *pvRequest = (dwFlags & SC_LOG_DUMP_REQUEST) ? ctx->pvRequestData : nullptr;
  WriteSection(file, "-- Request Data Sent, comprises %d bytes \r\n\r\n", pvRequest, SendableLength(ctx));
  const void *pvResponse = (dwFlags & SC_LOG_DUMP_RESPONSE) ? PublishedResponse(ctx) : nullptr;
  size_t cbResponse = ctx->cbResponse;
  if (pvResponse != nullptr && IsBadReadPtr(pvResponse, cbResponse)) pvResponse = nullptr;
  WriteSection(file, "-- Prefill Response Data received, comprises %d bytes \r\n\r\n", pvResponse, cbResponse);
  WriteSection(file, "-- Trace Header Data received, comprises %d bytes \r\n\r\n", ctx->pvTraceHeaders,
               std::min<size_t>(ctx->cbTraceHeaders, ZemMemSize(ctx->pvTraceHeaders)));
}

}  // namespace

int WINAPI ScraWriteLogs(int nDocument, DWORD dwFlags, LPCSTR pszPath) {
  REQUEST_CONTEXT *ctx = FindRecord(nDocument);
  if (ctx == nullptr) return 0;
  // Only a null path means the default file. Any other path is tried as it
  // is: an empty or unreadable one opens nothing, and nothing is written.
  if (pszPath != nullptr && !IsValidText(pszPath)) return 1;
  ReportFile file(pszPath != nullptr ? pszPath : kDefaultFile);
  if (!file.ok()) return 1;
  if (char *pszMsg = ctx->pszMsg) pszMsg[0] = '\0';
  if (dwFlags & SC_LOG_TITLE) WriteTitle(file, ctx);
  if (dwFlags & (SC_LOG_DATE | SC_LOG_TIME)) WriteDateTime(file, dwFlags);
  if (dwFlags & SC_LOG_CONNECTION) WriteConnection(file, ctx);
  if (dwFlags & SC_LOG_STATUS) WriteStatusLog(file, ctx);
  if (dwFlags & SC_LOG_HEADER) WriteLastHeader(file, ctx);
  if (dwFlags & SC_LOG_DUMPS) WriteDumps(file, ctx, dwFlags);
  return 1;
}
