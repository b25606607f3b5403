// Helpers for the upload task tests: a task that releases itself, its status
// lines read from the record, and a notify procedure that records its calls.
#ifndef ZEM_TEST_UPLOAD_TEST_UTIL_H
#define ZEM_TEST_UPLOAD_TEST_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "ZemUpload.h"

namespace uploadtest {

// Plain HTTP for the scripted server: the task's default flags without TLS.
constexpr DWORD kPlainHttpFlags = 0x04C03000 & ~static_cast<DWORD>(INTERNET_FLAG_SECURE);

// A task created with a copy of `data` whose answer lands in `response`;
// released (if still there) when the object goes.
struct Task {
  int doc;
  std::string data;
  void *response = nullptr;
  bool created = false;

  explicit Task(int nDocument, std::string text = "name=Ann&id=42", DWORD_PTR caller = 0, INT_PTR notify2 = 0)
      : doc(nDocument), data(std::move(text)) {
    void *pv = data.empty() ? nullptr : &data[0];
    created = ScraAddNewDoc(&pv, &response, static_cast<DWORD>(data.size()), caller, doc, notify2) == 1;
  }
  ~Task() { ScraCloseTask(doc); }
  Task(const Task &) = delete;
  Task &operator=(const Task &) = delete;

  REQUEST_CONTEXT *ctx() const { return ScQueryRqCtxPtr(doc); }
  std::string Answer() const {
    const REQUEST_CONTEXT *c = ctx();
    return response == nullptr || c == nullptr ? "" : std::string(static_cast<const char *>(response), c->cbResponse);
  }
  // A task aimed at 127.0.0.1:port, plain HTTP, object "/inquiry".
  void AimAt(int port, const char *object = "/inquiry") const {
    ScSetConnStrings(doc, SC_STR_HOST_NAME, "127.0.0.1");
    ScSetConnStrings(doc, SC_STR_APP_NAME, object);
    ScSetConnDWord(doc, SC_DW_PORT, static_cast<DWORD>(port));
    ScSetConnDWord(doc, SC_DW_HTTP_FLAGS, kPlainHttpFlags);
  }
};

// A field of the packed record as a value. Test macros bind references to
// their arguments, and a reference must not be bound to a misaligned field.
template <typename T>
T Field(T value) {
  return value;
}

// Every status line of a task, whole (ScraGetMsgStr cuts at 80 characters).
inline std::vector<std::string> StatusLines(int nDocument) {
  std::vector<std::string> lines;
  const REQUEST_CONTEXT *ctx = ScQueryRqCtxPtr(nDocument);
  if (ctx == nullptr || ctx->ppszStatusLines == nullptr) return lines;
  for (int i = 0; i < ctx->nStatusLines; ++i) lines.emplace_back(ctx->ppszStatusLines[i]);
  return lines;
}

// A line stamped with the time of day ("12:34:56 Sending Request") with the
// time replaced by "<time>", so that runs can be compared line by line.
inline std::string WithoutTime(const std::string &line) {
  const bool stamped = line.size() >= 9 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                       std::isdigit(static_cast<unsigned char>(line[1])) && line[2] == ':' && line[5] == ':' &&
                       line[8] == ' ';
  return stamped ? "<time> " + line.substr(9) : line;
}

inline std::vector<std::string> StatusLinesWithoutTime(int nDocument) {
  std::vector<std::string> lines = StatusLines(nDocument);
  for (std::string &line : lines) line = WithoutTime(line);
  return lines;
}

// The lines from the first one equal to `first` on (empty when absent).
inline std::vector<std::string> LinesFrom(const std::vector<std::string> &lines, const std::string &first) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == first) return std::vector<std::string>(lines.begin() + static_cast<long>(i), lines.end());
  }
  return {};
}

// The lines of opening a session for a task without proxy settings: the
// connection parameters, then the direct open.
inline std::vector<std::string> DirectOpenLines() {
  return {"<time> Internet Open",         "-- Started",
          "-- InternetAccessType  [Preconfig]", "-- Internet szAccess   [ ] ",
          "-- Internet Cfg. modes [] ",   "-- Internet Proxy Svrs [] ",
          "-- Internet ProxyBypass[] ",   "-- Internet Pxy AuthUsr[] ",
          "-- Internet Pxy AuthPsw[] ",   "-- Internet User Name  [] ",
          "-- Internet User Pswd  [] ",   "-- Internet User Agent [] ",
          "-- Opening Internet using Direct Access"};
}

inline bool HasLine(const std::vector<std::string> &lines, const std::string &line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The library's progress dialog (template 101) as a caller shows it, with a
// procedure that handles nothing.
inline HWND ProgressDialog() {
  return CreateDialogParamA(GetModuleHandleA("ZEMHTTP.DLL"), MAKEINTRESOURCEA(101), nullptr,
                            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
}

// Runs the task as a caller's message handler does: an asynchronous run
// counts its time-out from the time of the message being handled, so the
// thread first takes a message of its own, posted now (the thread's last
// message may be arbitrarily old).
inline int RunFromFreshMessage(int nDocument) {
  constexpr UINT kRunMessage = 0x8000 + 0x2A;  // WM_APP + 0x2A
  PostMessageA(nullptr, kRunMessage, 0, 0);
  MSG msg;
  PeekMessageA(&msg, nullptr, kRunMessage, kRunMessage, PM_REMOVE);
  return ScraRunCompany(nDocument);
}

inline std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto &part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline std::string Joined(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines) text += line + "\n";
  return text;
}

// The notify procedure's calls: (code, second value, value), in order.
struct Notice {
  int code;
  INT_PTR second;
  INT_PTR value;
  bool operator==(const Notice &o) const { return code == o.code && second == o.second && value == o.value; }
};

class NoticeLog {
 public:
  static void CALLBACK Record(void *pvLog, int nCode, INT_PTR nSecond, INT_PTR nValue) {
    auto *log = static_cast<NoticeLog *>(pvLog);
    std::lock_guard<std::mutex> hold(log->lock_);
    log->notices_.push_back({nCode, nSecond, nValue});
  }
  void Attach(int nDocument, INT_PTR second) { ScraSetClassNotifyProc(&NoticeLog::Record, this, second, nDocument); }
  std::vector<Notice> Notices() const {
    std::lock_guard<std::mutex> hold(lock_);
    return notices_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<Notice> notices_;
};

// A task aimed at 127.0.0.1:port (see Task::AimAt) whose notices, marked with
// `second`, go to `notices`.
struct WatchedTask : Task {
  WatchedTask(int nDocument, NoticeLog &notices, INT_PTR second, int port, bool async = false) : Task(nDocument) {
    if (!created) return;
    notices.Attach(doc, second);
    AimAt(port);
    if (async) ScSetConnDWord(doc, SC_DW_ASYNC, 1);
  }
};

inline std::string Describe(const std::vector<Notice> &notices) {
  std::string text;
  for (const Notice &n : notices) {
    text += "(" + std::to_string(n.code) + ", " + std::to_string(n.second) + ", " + std::to_string(n.value) + ") ";
  }
  return text;
}

}  // namespace uploadtest

#endif
