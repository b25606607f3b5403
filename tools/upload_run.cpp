// "zemhttp upload": one task of the upload engine, run the way the engine's
// callers run it (create, aim, run, read the answer, report, release), with
// the task's status log echoed on standard error as it grows.
#include <ZemUpload.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <thread>

#include "body_io.h"
#include "subcommands.h"

namespace zemtool {

namespace {

constexpr int kDocument = 1;
// The engine's own request flags less its two relaxed certificate checks:
// the tool checks certificates fully unless the user relaxes a check.
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
constexpr auto kEchoInterval = std::chrono::milliseconds(50);
// How long after --timeout the tool gives up on a run that has not ended. The
// engine's close waits up to 5 s for a request in progress, and it cannot
// interrupt a download under way at all; a synchronous run cannot be
// cancelled, only left.
constexpr auto kGraceAfterCancel = std::chrono::seconds(7);
constexpr auto kGraceSync = std::chrono::seconds(2);

// Where the task goes, from the URL.
struct Target {
  std::string host;
  DWORD port = 0;
  bool secure = false;
  std::string object;  // path and query
  std::string user;
  std::string password;
};

std::string Part(const char *text, DWORD length) { return text == nullptr ? std::string() : std::string(text, length); }

// The URL split by the internet library's own cracker, as the client splits it.
bool CrackTarget(const std::string &url, Target *target) {
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  parts.dwUserNameLength = parts.dwPasswordLength = 1;
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return false;
  target->host = Part(parts.lpszHostName, parts.dwHostNameLength);
  target->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  target->port = parts.nPort != 0 ? parts.nPort
                                  : (target->secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  const std::string extra = Part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  target->object = Part(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (target->object.empty()) target->object = "/";
  target->object += extra.substr(0, extra.find('#'));  // a fragment is never sent
  target->user = Part(parts.lpszUserName, parts.dwUserNameLength);
  target->password = Part(parts.lpszPassword, parts.dwPasswordLength);
  return !target->host.empty();
}

// Aims the task; "" when every setting was taken, else what was refused.
std::string Aim(const ToolOptions &o, const Target &target) {
  const DWORD flags = kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0) | RelaxedCertificateFlags(o);
  if (!ScSetConnStrings(kDocument, SC_STR_HOST_NAME, target.host.c_str()) ||
      !ScSetConnStrings(kDocument, SC_STR_APP_NAME, target.object.c_str()) ||
      !ScSetConnDWord(kDocument, SC_DW_PORT, target.port) || !ScSetConnDWord(kDocument, SC_DW_HTTP_FLAGS, flags) ||
      !ScSetConnDWord(kDocument, SC_DW_ASYNC, o.sync ? 0 : 1))
    return "the upload engine refused the URL " + o.url;
  for (const auto &[name, value] : o.headers) {
    const std::string line = name + ": " + value;
    if (!ScSetConnStrings(kDocument, SC_STR_ADD_HEADER, line.c_str())) return "cannot add the header \"" + name + "\"";
  }
  // Credentials in the URL take precedence, as they do for the client.
  const bool url_user = !target.user.empty();
  const std::string &user = url_user ? target.user : o.user;
  const std::string &password = url_user ? target.password : o.password;
  if ((!user.empty() && !ScSetConnStrings(kDocument, SC_STR_USER_NAME, user.c_str())) ||
      (!password.empty() && !ScSetConnStrings(kDocument, SC_STR_PASSWORD, password.c_str())))
    return "cannot set the credentials";
  // Access type "3" with a named list opens the session through the proxy.
  if (!o.proxy.empty() &&
      (!ScSetConnStrings(kDocument, SC_STR_ACCESS_CHAR, "3") ||
       !ScSetConnStrings(kDocument, SC_STR_PROXY_NAMES, o.proxy.c_str()) ||
       (!o.proxy_bypass.empty() && !ScSetConnStrings(kDocument, SC_STR_PROXY_BYPASS, o.proxy_bypass.c_str()))))
    return "cannot set the proxy";
  return "";
}

// The engine offers no time-out of its own but the window's: every session it
// opens takes the internet library's process-wide time-outs, set on no handle.
void BoundEveryWait(uint32_t timeout_ms) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    InternetSetOptionA(nullptr, option, &timeout_ms, sizeof timeout_ms);
}

// Runs beside the task: echoes the status log as it grows (ScraGetMsgStr is
// the engine's reader that is safe during a run). Once --timeout has passed it
// gives an asynchronous run the engine's Cancel command, and should the run
// still not end, ends the tool.
class RunWatcher {
 public:
  RunWatcher(const ToolOptions &o, std::string secret)
      : secret_(std::move(secret)),
        timeout_ms_(o.timeout_ms),
        sync_(o.sync),
        run_thread_(GetCurrentThreadId()) {
    // The Cancel command is a thread message: the run's thread needs its
    // queue before the command can be posted to it.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    thread_ = std::thread(&RunWatcher::Loop, this);
  }
  ~RunWatcher() { Finish(); }
  RunWatcher(const RunWatcher &) = delete;
  RunWatcher &operator=(const RunWatcher &) = delete;

  // The run is over: the last lines are echoed and the thread ends.
  void Finish() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      finished_ = true;
      wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    Echo();
  }
  // The run went on past --timeout.
  bool TimedOut() const { return timed_out_; }
  std::string TimedOutText() const {
    return "the upload did not end within --timeout " + std::to_string(timeout_ms_ / 1000) + " s";
  }

 private:
  void Loop() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms_);
    const auto give_up = deadline + (sync_ ? kGraceSync : kGraceAfterCancel);
    std::unique_lock<std::mutex> hold(lock_);
    while (!wake_.wait_for(hold, kEchoInterval, [this] { return finished_; })) {
      Echo();
      const auto now = std::chrono::steady_clock::now();
      if (timeout_ms_ == 0 || now < deadline) continue;
      if (!timed_out_ && !sync_) PostThreadMessageA(run_thread_, WM_COMMAND, IDCANCEL, 0);
      timed_out_ = true;
      if (now >= give_up) {
        std::fprintf(stderr, "zemhttp: %s\n", TimedOutText().c_str());
        std::fflush(stderr);
        std::_Exit(kExitFailed);
      }
    }
  }

  // Prints the lines not printed yet, a password shown as asterisks.
  void Echo() {
    char line[SC_MSG_LINE_MAX + 1];
    while (ScraGetMsgStr(line, next_line_, kDocument)) {
      std::string text = line;
      for (size_t at = secret_.empty() ? std::string::npos : text.find(secret_); at != std::string::npos;
           at = text.find(secret_, at + secret_.size()))
        text.replace(at, secret_.size(), std::string(secret_.size(), '*'));
      std::fprintf(stderr, "%s\n", text.c_str());
      ++next_line_;
    }
    std::fflush(stderr);
  }

  const std::string secret_;
  const uint32_t timeout_ms_;  // 0: no bound
  const bool sync_;
  const DWORD run_thread_;
  int next_line_ = 0;  // only touched by the thread that echoes at the time
  std::mutex lock_;
  std::condition_variable wake_;
  bool finished_ = false;
  bool timed_out_ = false;  // written by the watcher, read after it was joined
  std::thread thread_;
};

// The engine's success class: 200-202 and 204-206.
bool IsSuccessStatus(DWORD code) { return (code >= 200 && code <= 206) && code != 203; }

// The status code of the run. A synchronous run that re-sent for 203 to 206
// or 301 reads no headers, so the record keeps none: the status log's last
// "Status Code Pass" line still has it.
DWORD StatusOf(const REQUEST_CONTEXT *ctx) {
  const DWORD recorded = ctx->dwStatusCode;
  if (recorded != 0) return recorded;
  unsigned int code = 0;
  char line[SC_MSG_LINE_MAX + 1];
  for (int i = 0; ScraGetMsgStr(line, i, kDocument); ++i) std::sscanf(line, "-- Status Code Pass %u received", &code);
  return code;
}

// Why a run got no answer: the last error number the status log names ("error
// #12038", "error# 12029") in the internet library's words. The log's own
// line for it may only say "Unknown error".
std::string NoAnswerText() {
  const std::regex numbered("[Ee]rror ?# ?([0-9]+)");
  unsigned long code = 0;
  char line[SC_MSG_LINE_MAX + 1];
  std::cmatch found;
  for (int i = 0; ScraGetMsgStr(line, i, kDocument); ++i)
    if (std::regex_search(line, found, numbered)) code = std::stoul(found[1].str());
  if (code == 0) return "the upload got no answer; the status log above tells why";
  char text[256] = "";
  const bool internet = code >= INTERNET_ERROR_BASE && code < INTERNET_ERROR_BASE + 1000;
  FormatMessageA(internet ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM,
                 internet ? GetModuleHandleA("WININET.DLL") : nullptr, static_cast<DWORD>(code), 0, text, sizeof text,
                 nullptr);
  std::string said = text;
  said = said.substr(0, said.find_first_of("\r\n"));
  return "the upload got no answer: " + (said.empty() ? "error" : said) + " (" + std::to_string(code) + ")";
}

// Reads what the run left in the record and writes the answer; the exit status.
int Report(const ToolOptions &o, const RunWatcher &watcher, const void *answer) {
  const REQUEST_CONTEXT *ctx = ScQueryRqCtxPtr(kDocument);
  if (watcher.TimedOut()) return Fail(watcher.TimedOutText());
  const DWORD code = StatusOf(ctx);
  if (code < 100 || code > 600) return Fail(NoAnswerText());
  std::fprintf(stderr, "%s\n", StatusLine(code).c_str());

  const DWORD cb_response = ctx->cbResponse, cb_announced = ctx->cbContentLength;
  OutputSink sink(o.output_file);
  if (o.include_headers && ctx->pvRespHeaders != nullptr) sink.Write(ctx->pvRespHeaders, ctx->cbRespHeaders);
  sink.Write(cb_response != 0 ? answer : nullptr, answer != nullptr ? cb_response : 0);
  std::string write_error;
  const bool written = sink.Close(&write_error);
  // 204 and 304 carry no body whatever length they announce.
  if (code != 204 && code != 304 && cb_announced > cb_response)
    return Fail("the answer broke off after " + std::to_string(cb_response) + " of " + std::to_string(cb_announced) +
                " bytes");
  if (!written) return Fail(write_error);
  if (code >= 400) return kExitHttpError;
  return IsSuccessStatus(code) ? kExitOk : Fail("the upload engine counts " + StatusLine(code) + " as a failure");
}

// Appends the task's report; the exit status it leaves.
int WriteReport(const std::string &path, int exit_code) {
  std::error_code ec;
  const auto size_before = std::filesystem::exists(path, ec) ? std::filesystem::file_size(path, ec) : 0;
  ScraWriteLogs(kDocument, SC_LOG_ALL, path.c_str());
  // The engine skips a file it cannot open without a word.
  if (!std::filesystem::exists(path, ec) || std::filesystem::file_size(path, ec) <= size_before)
    return Fail("cannot write the task report to " + path);
  const std::filesystem::path where = std::filesystem::absolute(path, ec);
  std::fprintf(stderr, "zemhttp: task report appended to %s\n", (ec ? path : where.string()).c_str());
  return exit_code;
}

}  // namespace

int RunUpload(const ToolOptions &o) {
  Target target;
  if (!CrackTarget(o.url, &target)) return Fail("cannot take the URL apart: " + o.url);
  std::string body, problem;
  if (!ReadRequestBody(o, &body, &problem)) return Fail(problem);
  if (body.empty()) return Fail("the data to upload is empty: the upload engine runs no task without data");
  if (o.has_timeout) BoundEveryWait(o.timeout_ms);

  void *data = &body[0];
  void *answer = nullptr;  // the engine publishes its answer block here
  if (!ScraAddNewDoc(&data, &answer, static_cast<DWORD>(body.size()), 0, kDocument, 0))
    return Fail("the upload engine refused the task");
  problem = Aim(o, target);
  int exit_code = kExitFailed;
  if (!problem.empty()) {
    Fail(problem);
  } else {
    RunWatcher watcher(o, target.user.empty() ? o.password : target.password);
    const int result = ScraRunCompany(kDocument);
    watcher.Finish();
    exit_code = result != 1 ? Fail("the upload could not open its connection (error " + std::to_string(result) + ")")
                            : Report(o, watcher, answer);
  }
  // Written after failed runs too: that is when the report is wanted most.
  if (!o.report_file.empty()) exit_code = WriteReport(o.report_file, exit_code);
  ScraCloseTask(kDocument);
  return exit_code;
}

}  // namespace zemtool
