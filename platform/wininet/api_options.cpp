// InternetSetOptionA and InternetQueryOptionA: time-outs, credentials, the
// user agent, proxy configuration and the facts of a handle. An option set on
// a handle applies to it and to the handles made under it, unless they set
// their own; one set on no handle applies to every handle.
#include <cstring>

#include "arguments.h"
#include "failure.h"
#include "handles.h"
#include "system_proxy.h"
#include "transfer.h"

using namespace zem::wininet;

namespace {

std::optional<DWORD> HandleOptions::*TimeoutMember(DWORD option) {
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      return &HandleOptions::connect_timeout;
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT:
      return &HandleOptions::send_timeout;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
      return &HandleOptions::receive_timeout;
    default:
      return nullptr;
  }
}

std::optional<std::string> HandleOptions::*TextMember(DWORD option) {
  switch (option) {
    case INTERNET_OPTION_USERNAME:
      return &HandleOptions::user_name;
    case INTERNET_OPTION_PASSWORD:
      return &HandleOptions::password;
    case INTERNET_OPTION_PROXY_USERNAME:
      return &HandleOptions::proxy_user_name;
    case INTERNET_OPTION_PROXY_PASSWORD:
      return &HandleOptions::proxy_password;
    case INTERNET_OPTION_USER_AGENT:
      return &HandleOptions::user_agent;
    default:
      return nullptr;
  }
}

bool IsQueryOnly(DWORD option) {
  return option == INTERNET_OPTION_HANDLE_TYPE || option == INTERNET_OPTION_PARENT_HANDLE ||
         option == INTERNET_OPTION_URL || option == INTERNET_OPTION_VERSION;
}

const Session *SessionOf(const InternetObject *object) {
  while (object != nullptr && object->kind != HandleKind::kSession) object = object->parent.get();
  return static_cast<const Session *>(object);
}

// The proxy configuration as an INTERNET_PROXY_INFO followed by its texts.
BOOL QueryProxy(const ProxyConfig &config, LPVOID buffer, LPDWORD length) {
  const size_t proxy_size = config.proxy_list.empty() ? 0 : config.proxy_list.size() + 1;
  const size_t bypass_size = config.bypass_list.empty() ? 0 : config.bypass_list.size() + 1;
  const DWORD size = static_cast<DWORD>(sizeof(INTERNET_PROXY_INFO) + proxy_size + bypass_size);
  if (buffer == nullptr || *length < size) {
    *length = size;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (!CheckWritable(buffer, size, "lpBuffer")) return FALSE;
  auto *info = static_cast<INTERNET_PROXY_INFO *>(buffer);
  char *texts = static_cast<char *>(buffer) + sizeof(INTERNET_PROXY_INFO);
  info->dwAccessType = config.access_type;
  info->lpszProxy = proxy_size != 0 ? texts : nullptr;
  if (proxy_size != 0) memcpy(texts, config.proxy_list.c_str(), proxy_size);
  info->lpszProxyBypass = bypass_size != 0 ? texts + proxy_size : nullptr;
  if (bypass_size != 0) memcpy(texts + proxy_size, config.bypass_list.c_str(), bypass_size);
  *length = size;
  return TRUE;
}

std::string RequestUrl(const Request &request) {
  if (request.transfer) {
    const std::string url = request.transfer->Url();
    if (!url.empty()) return url;
  }
  const auto &connection = static_cast<const Connection &>(*request.parent);
  const bool secure = ((request.flags | connection.flags) & INTERNET_FLAG_SECURE) != 0;
  std::string url = secure ? "https://" : "http://";
  url += connection.host.find(':') != std::string::npos ? "[" + connection.host + "]" : connection.host;
  if (connection.port != 0 && connection.port != (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT)) {
    url += ":" + std::to_string(connection.port);
  }
  return url + (request.object.front() == '/' ? "" : "/") + request.object;
}

BOOL QueryText(const std::string &text, LPVOID buffer, LPDWORD length) {
  const DWORD size = static_cast<DWORD>(text.size());
  return CopyToCaller(text.c_str(), size + 1, size, buffer, length);
}

// The handle an option is about; none (null) stands for every handle.
bool FindOptionTarget(HINTERNET handle, std::shared_ptr<InternetObject> *object) {
  if (handle == nullptr) return true;
  DWORD error = 0;
  *object = FindHandle(handle, &error);
  return *object ? true : Fail(error);
}

// Options of one handle kind: those of the others answer with the type error.
BOOL WrongType() { return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE); }

}  // namespace

BOOL WINAPI InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  BeginCall();
  std::lock_guard<std::mutex> lock(HandleLock());
  std::shared_ptr<InternetObject> object;
  if (!FindOptionTarget(hInternet, &object)) return FALSE;
  HandleOptions &options = object ? object->options : ProcessOptions();

  if (auto member = TimeoutMember(dwOption)) {
    if (dwBufferLength < sizeof(DWORD)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
    if (!CheckReadable(lpBuffer, sizeof(DWORD), "lpBuffer")) return FALSE;
    DWORD value;
    memcpy(&value, lpBuffer, sizeof value);
    options.*member = value;
    return Succeed();
  }
  if (auto member = TextMember(dwOption)) {
    std::string text;
    // Every text option (agent, credentials) goes into request heads.
    if (!ReadSizedText(static_cast<LPCSTR>(lpBuffer), dwBufferLength, "lpBuffer", &text, kMaxTextLength) ||
        !IsOneLine(text, "lpBuffer")) {
      return FALSE;
    }
    options.*member = text;
    return Succeed();
  }
  switch (dwOption) {
    case INTERNET_OPTION_CONTEXT_VALUE: {
      if (!object) return WrongType();
      // Callers built for 32-bit pointers pass 4 bytes.
      if (dwBufferLength != sizeof(DWORD) && dwBufferLength != sizeof(DWORD_PTR)) {
        return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
      }
      if (!CheckReadable(lpBuffer, dwBufferLength, "lpBuffer")) return FALSE;
      DWORD_PTR value = 0;
      memcpy(&value, lpBuffer, dwBufferLength);
      object->context = value;
      return Succeed();
    }
    case INTERNET_OPTION_CALLBACK: {
      if (!object) return WrongType();
      if (dwBufferLength < sizeof(INTERNET_STATUS_CALLBACK)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
      if (!CheckReadable(lpBuffer, sizeof(INTERNET_STATUS_CALLBACK), "lpBuffer")) return FALSE;
      memcpy(&object->callback, lpBuffer, sizeof(INTERNET_STATUS_CALLBACK));
      return Succeed();
    }
    case INTERNET_OPTION_PROXY: {
      // The platform's own configuration is its environment, not ours to change.
      if (!object) return Fail(ERROR_INTERNET_OPTION_NOT_SETTABLE);
      if (object->kind != HandleKind::kSession) return WrongType();
      if (dwBufferLength < sizeof(INTERNET_PROXY_INFO)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
      if (!CheckReadable(lpBuffer, sizeof(INTERNET_PROXY_INFO), "lpBuffer")) return FALSE;
      INTERNET_PROXY_INFO info;
      memcpy(&info, lpBuffer, sizeof info);
      ProxyConfig config;
      if (!ReadLineText(info.lpszProxy, "lpszProxy", &config.proxy_list) ||
          !ReadLineText(info.lpszProxyBypass, "lpszProxyBypass", &config.bypass_list)) {
        return FALSE;
      }
      if (info.dwAccessType == INTERNET_OPEN_TYPE_PROXY && config.proxy_list.empty()) {
        return Fail(ERROR_INVALID_PARAMETER, "A named proxy needs a proxy list.");
      }
      if (info.dwAccessType != INTERNET_OPEN_TYPE_PROXY) config = ProxyConfig();
      if (info.dwAccessType != INTERNET_OPEN_TYPE_PROXY && info.dwAccessType != INTERNET_OPEN_TYPE_DIRECT) {
        return Fail(ERROR_INVALID_PARAMETER, "Only direct access or a named proxy can be set on a session.");
      }
      config.access_type = info.dwAccessType;
      ProxyRules rules;
      if (!rules.Parse(config.proxy_list, config.bypass_list)) {
        return Fail(ERROR_INVALID_PARAMETER, "The proxy list \"" + config.proxy_list + "\" cannot be read.");
      }
      auto &session = static_cast<Session &>(*object);
      session.proxy = config;
      session.rules = rules;
      return Succeed();
    }
    case INTERNET_OPTION_SECURITY_FLAGS: {
      if (!object || object->kind != HandleKind::kRequest) return WrongType();
      if (dwBufferLength < sizeof(DWORD)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
      if (!CheckReadable(lpBuffer, sizeof(DWORD), "lpBuffer")) return FALSE;
      DWORD value;
      memcpy(&value, lpBuffer, sizeof value);
      if (value & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_WRONG_USAGE)) {
        return Fail(ERROR_INVALID_PARAMETER, "The certificate authority check cannot be switched off.");
      }
      const DWORD relaxable = SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
      object->flags = (object->flags & ~relaxable) | (value & relaxable);
      return Succeed();
    }
    default:
      if (IsQueryOnly(dwOption)) return Fail(ERROR_INTERNET_OPTION_NOT_SETTABLE);
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

BOOL WINAPI InternetQueryOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) {
  BeginCall();
  if (lpdwBufferLength == nullptr) return Fail(ERROR_INVALID_PARAMETER, "lpdwBufferLength is null.");
  if (!CheckWritable(lpdwBufferLength, sizeof(DWORD), "lpdwBufferLength")) return FALSE;
  std::lock_guard<std::mutex> lock(HandleLock());
  std::shared_ptr<InternetObject> object;
  if (!FindOptionTarget(hInternet, &object)) return FALSE;
  BOOL done = FALSE;
  if (auto member = TimeoutMember(dwOption)) {
    const DWORD value = EffectiveTimeout(object.get(), member);
    done = CopyToCaller(&value, sizeof value, sizeof value, lpBuffer, lpdwBufferLength);
  } else if (auto member = TextMember(dwOption)) {
    done = QueryText(EffectiveText(object.get(), member), lpBuffer, lpdwBufferLength);
  } else {
    switch (dwOption) {
      case INTERNET_OPTION_PROXY: {
        const Session *session = SessionOf(object.get());
        if (object && session == nullptr) return WrongType();
        done = QueryProxy(session != nullptr ? session->proxy : SystemStaticProxyConfig(), lpBuffer, lpdwBufferLength);
        break;
      }
      case INTERNET_OPTION_VERSION: {
        const INTERNET_VERSION_INFO version{1, 2};
        done = CopyToCaller(&version, sizeof version, sizeof version, lpBuffer, lpdwBufferLength);
        break;
      }
      case INTERNET_OPTION_HANDLE_TYPE: {
        if (!object) return WrongType();
        const DWORD type = object->kind == HandleKind::kSession      ? INTERNET_HANDLE_TYPE_INTERNET
                           : object->kind == HandleKind::kConnection ? INTERNET_HANDLE_TYPE_CONNECT_HTTP
                                                                     : INTERNET_HANDLE_TYPE_HTTP_REQUEST;
        done = CopyToCaller(&type, sizeof type, sizeof type, lpBuffer, lpdwBufferLength);
        break;
      }
      case INTERNET_OPTION_CONTEXT_VALUE:
        if (!object) return WrongType();
        done = CopyToCaller(&object->context, sizeof(DWORD_PTR), sizeof(DWORD_PTR), lpBuffer, lpdwBufferLength);
        break;
      case INTERNET_OPTION_CALLBACK:
        if (!object) return WrongType();
        done = CopyToCaller(&object->callback, sizeof(INTERNET_STATUS_CALLBACK), sizeof(INTERNET_STATUS_CALLBACK),
                            lpBuffer, lpdwBufferLength);
        break;
      case INTERNET_OPTION_PARENT_HANDLE: {
        if (!object) return WrongType();
        HINTERNET parent = object->parent ? object->parent->handle : nullptr;
        done = CopyToCaller(&parent, sizeof parent, sizeof parent, lpBuffer, lpdwBufferLength);
        break;
      }
      case INTERNET_OPTION_URL:
        if (!object || object->kind != HandleKind::kRequest) return WrongType();
        done = QueryText(RequestUrl(static_cast<const Request &>(*object)), lpBuffer, lpdwBufferLength);
        break;
      case INTERNET_OPTION_SECURITY_FLAGS: {
        if (!object || object->kind != HandleKind::kRequest) return WrongType();
        const DWORD secure = (object->flags | object->parent->flags) & INTERNET_FLAG_SECURE ? SECURITY_FLAG_SECURE : 0;
        const DWORD value =
            secure | (object->flags & (SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID));
        done = CopyToCaller(&value, sizeof value, sizeof value, lpBuffer, lpdwBufferLength);
        break;
      }
      default:
        return Fail(ERROR_INTERNET_INVALID_OPTION);
    }
  }
  return done ? Succeed() : FALSE;
}
