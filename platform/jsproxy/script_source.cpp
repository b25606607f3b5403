#include "script_source.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <mutex>

#include "pac_eval.h"
#include "wininet.h"

namespace zem::jsproxy {
namespace {

struct ScriptState {
  std::mutex mutex;
  bool known = false;  // script/error below hold an outcome
  DWORD error = 0;     // why there is no script
  std::string script;
};

ScriptState &State() {
  // Destroyed when the module is unloaded, after its last user let go of it.
  static ScriptState state;
  return state;
}

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h) : h_(h) {}
  ~InternetHandle() {
    if (h_ != nullptr) InternetCloseHandle(h_);
  }
  InternetHandle(const InternetHandle &) = delete;
  InternetHandle &operator=(const InternetHandle &) = delete;
  operator HINTERNET() const { return h_; }

 private:
  HINTERNET h_;
};

// Fetches the script at an http or https URL, directly: the script decides
// the proxy, so it cannot be fetched through one. 0 or the error to report.
DWORD FetchScript(const std::string &url, std::string *script) {
  char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {0};
  char path[INTERNET_MAX_PATH_LENGTH + 1] = {0};
  char extra[INTERNET_MAX_PATH_LENGTH + 1] = {0};
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = sizeof extra;
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    return ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT;
  }
  const std::string object = std::string(path[0] != '\0' ? path : "/") + extra;
  InternetHandle session(InternetOpenA("jsproxy", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  // A server that takes the connection and never answers fails the fetch in
  // the time a script may run, not in the library's minutes.
  DWORD limit = PacTimeLimitMs();
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT}) {
    if (session != nullptr) InternetSetOptionA(session, option, &limit, sizeof limit);
  }
  InternetHandle connection(session != nullptr ? InternetConnectA(session, host, parts.nPort, nullptr, nullptr,
                                                                  INTERNET_SERVICE_HTTP, 0, 0)
                                               : nullptr);
  const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                      (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
  InternetHandle request(connection != nullptr ? HttpOpenRequestA(connection, "GET", object.c_str(), nullptr,
                                                                  nullptr, nullptr, flags, 0)
                                               : nullptr);
  if (request == nullptr || !HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    return ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT;
  }
  DWORD status = 0, size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
      status != HTTP_STATUS_OK) {
    return ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT;
  }
  constexpr size_t kMaxScript = 4 * 1024 * 1024;
  char buffer[8192];
  DWORD read = 0;
  script->clear();
  while (InternetReadFile(request, buffer, sizeof buffer, &read) && read != 0) {
    script->append(buffer, read);
    if (script->size() > kMaxScript) return ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT;
  }
  return read == 0 ? 0 : ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT;
}

}  // namespace

DWORD CurrentScript(std::string *script) {
  ScriptState &state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.known) {
    const char *setting = std::getenv("ZEMHTTP_PAC_URL");
    std::string url = setting != nullptr ? setting : "";
    if (url == "wpad") url = "http://wpad/wpad.dat";  // the conventional WPAD location
    if (url.empty()) {
      state.error = ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT;
    } else if (url.rfind("file://", 0) == 0) {
      state.error = ReadScriptFile(url.substr(7), &state.script);
    } else {
      state.error = FetchScript(url, &state.script);
    }
    state.known = true;
  }
  if (state.error == 0) *script = state.script;
  return state.error;
}

DWORD ReadScriptFile(const std::string &path, std::string *script) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  if (!file) return ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT;
  *script = content.str();
  return 0;
}

void SetScript(const std::string &script, DWORD error) {
  ScriptState &state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.known = !script.empty() || error != 0;
  state.error = error;
  state.script = script;
}

}  // namespace zem::jsproxy
