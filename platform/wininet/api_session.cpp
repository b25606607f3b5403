// Opening and closing handles: the session (InternetOpenA), the connection
// (InternetConnectA, which makes no network connection: a server that cannot
// be reached shows when a request is sent) and the status callback.
#include <memory>

#include "arguments.h"
#include "engine.h"
#include "failure.h"
#include "handles.h"
#include "status_reports.h"
#include "transfer.h"

using namespace zem::wininet;

namespace {

HINTERNET FailHandle(DWORD error, const std::string &detail) {
  Fail(error, detail);
  return nullptr;
}

HINTERNET FailHandle(DWORD error) {
  Fail(error);
  return nullptr;
}

// Stops the work of closed objects and lets them go, outside the handle
// lock: callbacks run here and the last release may stop threads.
void Release(std::vector<std::shared_ptr<InternetObject>> objects) {
  for (const auto &object : objects) {
    if (object->kind == HandleKind::kRequest) {
      if (auto transfer = std::static_pointer_cast<Request>(object)->transfer) transfer->Cancel();
    }
  }
  for (const auto &object : objects) {
    ReportClosing({object->handle, object->context, object->callback});
  }
  for (const auto &object : objects) {
    if (object->kind != HandleKind::kSession) continue;
    Engine::Instance().RemoveSession();
    if (object->flags & INTERNET_FLAG_ASYNC) CallbackThread::Instance().RemoveSession();
  }
}

}  // namespace

HINTERNET WINAPI InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy, LPCSTR lpszProxyBypass,
                               DWORD dwFlags) {
  BeginCall();
  std::string agent, proxy, bypass;
  if (!ReadLineText(lpszAgent, "lpszAgent", &agent) || !ReadLineText(lpszProxy, "lpszProxy", &proxy) ||
      !ReadLineText(lpszProxyBypass, "lpszProxyBypass", &bypass)) {
    return nullptr;
  }
  auto session = std::make_shared<Session>();
  session->access_type = dwAccessType;
  switch (dwAccessType) {
    case INTERNET_OPEN_TYPE_DIRECT:
      break;
    case INTERNET_OPEN_TYPE_PROXY:
      if (proxy.empty()) return FailHandle(ERROR_INVALID_PARAMETER, "A named proxy needs a proxy list in lpszProxy.");
      session->proxy.access_type = INTERNET_OPEN_TYPE_PROXY;
      session->proxy.proxy_list = proxy;
      session->proxy.bypass_list = bypass;
      break;
    case INTERNET_OPEN_TYPE_PRECONFIG:
    case INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY:
      session->proxy = PlatformProxyConfig();
      if (!IsOneLine(session->proxy.proxy_list, "The platform's proxy") ||
          !IsOneLine(session->proxy.bypass_list, "The platform's proxy bypass list") ||
          !IsOneLine(session->proxy.user_name, "The platform's proxy user name") ||
          !IsOneLine(session->proxy.password, "The platform's proxy password")) {
        return nullptr;
      }
      session->rules.UseSystem(dwAccessType == INTERNET_OPEN_TYPE_PRECONFIG);
      break;
    default:
      return FailHandle(ERROR_INVALID_PARAMETER,
                        "dwAccessType " + std::to_string(dwAccessType) + " is none of 0, 1, 3 and 4.");
  }
  if (!session->rules.Parse(session->proxy.proxy_list, session->proxy.bypass_list)) {
    return FailHandle(ERROR_INVALID_PARAMETER, "The proxy list \"" + session->proxy.proxy_list + "\" cannot be read.");
  }
  session->flags = dwFlags;
  if (lpszAgent != nullptr) session->options.user_agent = agent;
  if (!session->proxy.user_name.empty()) session->options.proxy_user_name = session->proxy.user_name;
  if (!session->proxy.password.empty()) session->options.proxy_password = session->proxy.password;
  session->pool = std::make_shared<ConnectionPool>();
  HINTERNET handle;
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    handle = RegisterHandle(session);
  }
  if (handle == nullptr) return FailHandle(ERROR_INTERNET_OUT_OF_HANDLES);
  Engine::Instance().AddSession();
  if (dwFlags & INTERNET_FLAG_ASYNC) CallbackThread::Instance().AddSession();
  Succeed();
  return handle;
}

HINTERNET WINAPI InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                                  LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                                  DWORD_PTR dwContext) {
  BeginCall();
  std::string server, user, password;
  if (!ReadLineText(lpszServerName, "lpszServerName", &server, INTERNET_MAX_HOST_NAME_LENGTH) ||
      !ReadLineText(lpszUserName, "lpszUserName", &user) || !ReadLineText(lpszPassword, "lpszPassword", &password)) {
    return nullptr;
  }
  if (server.empty()) return FailHandle(ERROR_INVALID_PARAMETER, "lpszServerName names no server.");
  if (dwService == INTERNET_SERVICE_FTP || dwService == INTERNET_SERVICE_GOPHER) {
    return FailHandle(ERROR_NOT_SUPPORTED, "Only the HTTP service is available.");
  }
  if (dwService != INTERNET_SERVICE_HTTP) {
    return FailHandle(ERROR_INVALID_PARAMETER, "dwService " + std::to_string(dwService) + " is not a service.");
  }
  std::unique_lock<std::mutex> lock(HandleLock());
  DWORD error = 0;
  auto session = FindHandleOf<Session>(hInternet, HandleKind::kSession, &error);
  if (!session) return FailHandle(error);
  auto connection = std::make_shared<Connection>();
  connection->parent = session;
  connection->host = server;
  connection->port = nServerPort;
  connection->service = dwService;
  connection->flags = dwFlags;
  connection->context = dwContext;
  connection->callback = session->callback;
  if (!user.empty()) connection->options.user_name = user;
  if (!password.empty()) connection->options.password = password;
  HINTERNET handle = RegisterHandle(connection);
  if (handle == nullptr) return FailHandle(ERROR_INTERNET_OUT_OF_HANDLES);
  const StatusTarget target{handle, dwContext, connection->callback};
  lock.unlock();
  ReportCreated(target);
  Succeed();
  return handle;
}

BOOL WINAPI InternetCloseHandle(HINTERNET hInternet) {
  BeginCall();
  std::vector<std::shared_ptr<InternetObject>> closed;
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    DWORD error = 0;
    if (!FindHandle(hInternet, &error)) return Fail(error);
    closed = UnregisterTree(hInternet);
  }
  Release(std::move(closed));
  return Succeed();
}

INTERNET_STATUS_CALLBACK WINAPI InternetSetStatusCallbackA(HINTERNET hInternet,
                                                           INTERNET_STATUS_CALLBACK lpfnInternetCallback) {
  BeginCall();
  std::lock_guard<std::mutex> lock(HandleLock());
  DWORD error = 0;
  auto object = FindHandle(hInternet, &error);
  if (!object) {
    Fail(error);
    return INTERNET_INVALID_STATUS_CALLBACK;
  }
  INTERNET_STATUS_CALLBACK previous = object->callback;
  object->callback = lpfnInternetCallback;
  Succeed();
  return previous;
}
