#include "subcommands.h"

#include <ZemHttp.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "body_io.h"
#include "progress_bar.h"
#include "terminal.h"
#include "transfer_guard.h"

namespace zemtool {

namespace {

// Room for the service log of a long download: the client logs one line per
// chunk read, and lines beyond the limit are dropped, not rotated.
constexpr int kLogMaxLines = 100000;
constexpr int kLogFirstLines = 256;
constexpr int kLogGrowBy = 4096;

// What the client's notification procedures saw during the run.
struct RunWatch {
  ProgressBar *bar = nullptr;
  bool verbose = false;
  bool error_notified = false;
  INT_PTR error_value = 0;
  TransferGuard *guard = nullptr;  // while the verb runs
};

void CALLBACK OnStatusText(void *pvData, int nCode, INT_PTR, INT_PTR nValue) {
  auto *watch = static_cast<RunWatch *>(pvData);
  if (nCode != NOTIFY_STATUS_TEXT || nValue == 0) return;
  const char *text = reinterpret_cast<const char *>(nValue);
  if (watch->verbose) std::fprintf(stderr, "* %s\n", text);
  if (watch->guard != nullptr) watch->guard->OnStatusText(text);
  if (watch->bar != nullptr) watch->bar->OnStatusText(text);
}

// A failing step reports NOTIFY_ERROR even when the run still counts as
// answered: a read error mid-body keeps the bytes read so far as the body and
// the run returns success. This is how the tool tells a broken download from
// a whole one.
void CALLBACK OnResult(void *pvData, int nCode, INT_PTR, INT_PTR nValue) {
  auto *watch = static_cast<RunWatch *>(pvData);
  if (nCode == NOTIFY_PROGRESS && watch->guard != nullptr) watch->guard->OnProgress();
  if (nCode == NOTIFY_ERROR) {
    watch->error_notified = true;
    watch->error_value = nValue;
  }
}

std::string ErrorText(CZemHttp &http) {
  char text[256] = "";
  http.GetErrorString(text, sizeof text - 1);
  return text;
}

// The client's text for a failure, or `fallback` when it recorded none.
std::string FailureText(CZemHttp &http, const std::string &fallback) {
  std::string text = ErrorText(http);
  return text.empty() ? fallback : text;
}

// Everything but the URL and the body, set before the verb runs. "" when all
// was taken, else what went wrong.
std::string Configure(CZemHttp &http, const ToolOptions &o) {
  // ADD with REPLACE: the header is added, or replaces one the library
  // would send itself. REPLACE alone (the one-line setter) only replaces, and
  // a header the request does not carry yet would be lost.
  for (const auto &[name, value] : o.headers) {
    if (!http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE, name.c_str(), value.c_str()))
      return "cannot add the header \"" + name + "\": " + FailureText(http, "refused");
  }
  if (o.has_credentials) {
    if (!http.SetHttpUser(o.user.c_str()) || !http.SetHttpPswd(o.password.c_str()))
      return "cannot set the credentials: " + FailureText(http, "refused");
  }
  if (o.has_timeout && !http.SetHttpDWS(o.timeout_ms, 7))
    return "cannot set the time-out: " + FailureText(http, "refused");
  if (o.has_retries) http.SetMaxRetries(o.retries);
  if (!o.proxy_file.empty()) {
    http.GetProxyIniFile(o.proxy_file.c_str(), o.proxy_section.empty() ? nullptr : o.proxy_section.c_str());
    // A missing file, or one without a usable key, leaves the record empty;
    // going on would silently connect without the proxy the user named.
    if (!http.m_ZemProxyInfo.bInitialized) {
      std::string where = o.proxy_file + " [" + (o.proxy_section.empty() ? "PROXY" : o.proxy_section) + "]";
      return "no proxy settings read from " + where + ": " + FailureText(http, "the section holds no known key");
    }
  }
  if (!o.proxy.empty()) {
    if (o.proxy.size() >= sizeof http.m_ZemProxyInfo.szProxyNames ||
        o.proxy_bypass.size() >= sizeof http.m_ZemProxyInfo.szProxyBypass)
      return "the proxy and bypass lists are limited to 259 characters each";
    // Method letter "3" with a named list opens the session with access type
    // 3 (a named proxy); the access type is set as well so that the record
    // reads the same to anything that exports it.
    if (!http.SetHttpStr("3", 5) || !http.SetHttpStr(o.proxy.c_str(), 7) ||
        !http.SetHttpStr(o.proxy_bypass.c_str(), 8) || !http.SetHttpDWS(INTERNET_OPEN_TYPE_PROXY, 5))
      return "cannot set the proxy: " + FailureText(http, "refused");
  }
  return "";
}

// Runs the subcommand's verb on the URL set before; the result as the verb
// member returns it.
int RunVerb(CZemHttp &http, const ToolOptions &o, const std::string &body, std::string *allow_line) {
  const char *url = nullptr;
  const void *data = body.empty() ? nullptr : body.data();
  const auto size = static_cast<unsigned int>(body.size());
  switch (o.command) {
    case Command::Get:
      return http.Get(url, nullptr);
    case Command::Post:
      return http.Post(url, data, size);
    case Command::Put:
      // No file name: the URL's path itself names the file.
      return http.FilePut(url, nullptr, data, size);
    case Command::Delete:
      return http.FileDelete(url, nullptr);
    case Command::Head:
      return http.GetHead(url, nullptr, 0);
    case Command::Options: {
      // The member copies the "Allow:" line without a terminator when it
      // fills the buffer: one spare character keeps the copy a text.
      char allow[1024] = "";
      int result = http.GetOptions(url, allow, sizeof allow - 1);
      allow[sizeof allow - 1] = '\0';
      *allow_line = allow;
      return result;
    }
    case Command::Trace:
      return http.Trace(url, nullptr, 0);
    case Command::None:
    case Command::Upload:
    case Command::Status:
      break;
  }
  return 0;
}

// HEAD, OPTIONS and TRACE report a header length or whether a body came, not
// the run's result: for them an answer is a status the driver accepts.
bool ReportsRunResult(Command command) {
  return command == Command::Get || command == Command::Post || command == Command::Put || command == Command::Delete;
}

// Writes what the subcommand prints; the sink keeps any write failure.
void WriteResults(CZemHttp &http, const ToolOptions &o, const std::string &allow_line, OutputSink *sink) {
  bool headers = o.include_headers || o.command == Command::Head;
  if (headers && http.pvResponseHeaders != nullptr) sink->Write(http.pvResponseHeaders, http.cbResponseHeaders);
  // The body is written from the client's own block: GetRawData's copy
  // would hold a large download twice in memory.
  unsigned int size = o.command == Command::Head ? 0 : http.GetRawData(nullptr);
  if (size != 0) {
    sink->Write(http.pvResponse, size);
  } else if (o.command == Command::Options && !allow_line.empty()) {
    const std::string line = allow_line + "\n";
    sink->Write(line.data(), line.size());
  } else {
    sink->Write(nullptr, 0);  // an empty body still makes the -o file
  }
}

// Configures, sends and reports one request; the exit status.
int Execute(CZemHttp &http, const ToolOptions &o, RunWatch &watch) {
  std::string problem = Configure(http, o);
  std::string body;
  if (problem.empty() && SendsBody(o.command)) ReadRequestBody(o, &body, &problem);
  if (!problem.empty()) return Fail(problem);

  // The URL is set apart from the verb: setting a URL derives the request
  // flags from its scheme anew, and a relaxed check must outlive that.
  http.SetURL(o.url.c_str());
  if (RelaxedCertificateFlags(o) != 0) http.SetHttpFlag(http.dwHttpFlags | RelaxedCertificateFlags(o));

  std::string allow_line;
  TransferGuard guard(http, o);
  watch.guard = &guard;
  int result = RunVerb(http, o, body, &allow_line);
  guard.Finish();
  watch.guard = nullptr;
  if (watch.bar != nullptr) watch.bar->Finish();
  // A transfer cut off by the user's bounds fails as such, whatever the
  // client made of the closed handles; nothing of the body is written.
  const std::string cut_off = guard.Reason();
  if (!cut_off.empty()) return Fail(cut_off);

  const unsigned int code = http.QueryHttpStatusCode();
  if (code >= 100 && code < 200)
    return Fail("the server gave only interim answers (last: " + StatusLine(code) + ") to " +
                std::to_string(http.dwMaxRetries) + " send(s); --retries allows more");
  if (code < 200 || code > 600) return Fail(FailureText(http, "the request failed without an answer"));

  std::fprintf(stderr, "%s\n", StatusLine(code).c_str());
  OutputSink sink(o.output_file);
  WriteResults(http, o, allow_line, &sink);
  std::string write_error;
  const bool written = sink.Close(&write_error);
  if (watch.error_notified)
    return Fail("the answer broke off after " + std::to_string(http.GetRawData(nullptr)) + " bytes (error " +
                std::to_string(static_cast<long long>(watch.error_value)) + ")");
  if (ReportsRunResult(o.command) && result == 0) return Fail(FailureText(http, "the announced body never arrived"));
  if (!written) return Fail(write_error);
  return code >= 400 ? kExitHttpError : kExitOk;
}

}  // namespace

int Fail(const std::string &message) {
  std::fprintf(stderr, "zemhttp: %s\n", message.c_str());
  return kExitFailed;
}

std::string StatusLine(unsigned int code) {
  char short_text[128] = "";
  GetHttpStatusStrings(code, short_text, sizeof short_text, nullptr, 0);
  std::string line = "HTTP " + std::to_string(code);
  if (short_text[0] != '\0') line += std::string(" ") + short_text;
  return line;
}

unsigned long RelaxedCertificateFlags(const ToolOptions &o) {
  return (o.ignore_cert_name ? INTERNET_FLAG_IGNORE_CERT_CN_INVALID : 0) |
         (o.ignore_cert_date ? INTERNET_FLAG_IGNORE_CERT_DATE_INVALID : 0);
}

int RunStatus(const ToolOptions &options) {
  char short_text[128] = "";
  char long_text[512] = "";
  if (!GetHttpStatusStrings(options.status_code, short_text, sizeof short_text, long_text, sizeof long_text))
    return Fail(std::to_string(options.status_code) + " is not a status code the client knows");
  std::printf("%u %s\n%s\n", options.status_code, short_text, long_text);
  return std::fflush(stdout) == 0 ? kExitOk : Fail("cannot write standard output");
}

int RunRequest(const ToolOptions &o) {
  CZemHttp http;
  const std::string name = std::string("zemhttp ") + CommandName(o.command);
  if (o.log) {
    http.EnableLogging(kLogMaxLines, kLogFirstLines, kLogGrowBy);
    http.SetConnectionID(http.uDocument, http.uCompanyID, http.uConnection, name.c_str());
  }
  if (!http.CheckSystemAvailable())
    return Fail("the internet library could not be loaded: " + FailureText(http, "no reason given"));

  std::unique_ptr<ProgressBar> bar;
  bool draw = o.progress == ProgressMode::Always ||
              (o.progress == ProgressMode::Auto && !o.verbose && StandardErrorIsTerminal());
  if (draw) bar = std::make_unique<ProgressBar>(stderr, TerminalColumns());
  RunWatch watch;
  watch.bar = bar.get();
  watch.verbose = o.verbose;
  http.SetNotifyStatusProc(OnStatusText, &watch);
  http.SetNotifyResultProc(OnResult, &watch);

  int exit_code = Execute(http, o, watch);

  // Written after failed runs too: that is when the log is wanted most.
  if (o.log) {
    if (!http.GetDebugLog(o.log_file.c_str(), ZEMHTTP_LOG_ALL))
      return Fail("cannot write the debug log to " + o.log_file);
    std::error_code ec;
    std::filesystem::path where = std::filesystem::absolute(o.log_file, ec);
    std::fprintf(stderr, "zemhttp: debug log appended to %s\n", (ec ? o.log_file : where.string()).c_str());
  }
  return exit_code;
}

}  // namespace zemtool
