// HTTP requests: opening one on a connection, its header list, and sending
// it. A synchronous send returns once the final answer's head has arrived;
// every HTTP status is a successful send.
#include <memory>
#include <new>

#include "arguments.h"
#include "engine.h"
#include "failure.h"
#include "handles.h"
#include "transfer.h"

using namespace zem::wininet;

namespace {

// Accept types are a null-terminated array; more than this many is a caller
// whose array lacks its terminator.
constexpr size_t kMaxAcceptTypes = 256;

bool ReadAcceptTypes(LPCSTR *types, std::string *joined) {
  joined->clear();
  if (types == nullptr) return true;
  for (size_t i = 0;; ++i) {
    if (i == kMaxAcceptTypes) return Fail(ERROR_INVALID_PARAMETER, "lplpszAcceptTypes has no terminating null entry.");
    if (IsBadReadPtr(types + i, sizeof(LPCSTR))) {
      return Fail(ERROR_INVALID_PARAMETER, "lplpszAcceptTypes cannot be read.");
    }
    if (types[i] == nullptr) return true;
    std::string type;
    if (!ReadText(types[i], "an accept type", &type)) return false;
    if (type.empty()) continue;
    if (!joined->empty()) *joined += ", ";
    *joined += type;
  }
}

// What a sending needs from the request and its parents (lock held).
SendSpec BuildSpec(const Request &request, std::shared_ptr<const std::string> body) {
  const auto &connection = static_cast<const Connection &>(*request.parent);
  const auto &session = static_cast<const Session &>(*connection.parent);
  SendSpec spec;
  spec.flags = request.flags | (connection.flags & INTERNET_FLAG_SECURE);
  spec.secure = (spec.flags & INTERNET_FLAG_SECURE) != 0;
  spec.host = connection.host;
  spec.port = connection.port != 0 ? connection.port
                                   : static_cast<INTERNET_PORT>(spec.secure ? INTERNET_DEFAULT_HTTPS_PORT
                                                                            : INTERNET_DEFAULT_HTTP_PORT);
  spec.object = request.object;
  spec.method = request.verb;
  spec.http10 = request.http10;
  spec.headers = request.headers;
  spec.userAgent = EffectiveText(&request, &HandleOptions::userAgent);
  spec.body = std::move(body);
  spec.user = EffectiveText(&request, &HandleOptions::userName);
  spec.password = EffectiveText(&request, &HandleOptions::password);
  spec.proxyUser = EffectiveText(&request, &HandleOptions::proxyUserName);
  spec.proxyPassword = EffectiveText(&request, &HandleOptions::proxyPassword);
  spec.proxies = session.rules;
  spec.connectTimeout = EffectiveTimeout(&request, &HandleOptions::connectTimeout);
  spec.sendTimeout = EffectiveTimeout(&request, &HandleOptions::sendTimeout);
  spec.receiveTimeout = EffectiveTimeout(&request, &HandleOptions::receiveTimeout);
  spec.pool = session.pool;
  spec.status = {request.handle, request.context, request.callback};
  spec.async = (session.flags & INTERNET_FLAG_ASYNC) != 0;
  return spec;
}

}  // namespace

HINTERNET WINAPI HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName, LPCSTR lpszVersion,
                                  LPCSTR lpszReferrer, LPCSTR *lplpszAcceptTypes, DWORD dwFlags,
                                  DWORD_PTR dwContext) {
  BeginCall();
  std::string verb, object, version, referrer, accept;
  if (!ReadText(lpszVerb, "lpszVerb", &verb) || !ReadText(lpszObjectName, "lpszObjectName", &object) ||
      !ReadText(lpszVersion, "lpszVersion", &version) || !ReadText(lpszReferrer, "lpszReferrer", &referrer) ||
      !ReadAcceptTypes(lplpszAcceptTypes, &accept)) {
    return nullptr;
  }
  if (verb.empty()) verb = "GET";
  if (!IsToken(verb)) {
    Fail(ERROR_INVALID_PARAMETER, "lpszVerb \"" + verb + "\" is not an HTTP method name.");
    return nullptr;
  }
  std::unique_lock<std::mutex> lock(HandleLock());
  DWORD error = 0;
  auto connection = FindHandleOf<Connection>(hConnect, HandleKind::kConnection, &error);
  if (!connection) {
    Fail(error);
    return nullptr;
  }
  auto request = std::make_shared<Request>();
  request->parent = connection;
  request->verb = verb;
  request->object = object.empty() ? "/" : object;
  // Without a version the request speaks HTTP/1.1, as the platform's own
  // library does by default.
  request->http10 = EqualsNoCase(version, "HTTP/1.0");
  request->flags = dwFlags;
  request->context = dwContext;
  request->callback = connection->callback;
  if (!accept.empty()) request->headers.Append("Accept", accept);
  if (!referrer.empty()) request->headers.Append("Referer", referrer);
  HINTERNET handle = RegisterHandle(request);
  if (handle == nullptr) {
    Fail(ERROR_INTERNET_OUT_OF_HANDLES);
    return nullptr;
  }
  const StatusTarget target{handle, dwContext, request->callback};
  lock.unlock();
  ReportCreated(target);
  Succeed();
  return handle;
}

BOOL WINAPI HttpAddRequestHeadersA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                                   DWORD dwModifiers) {
  BeginCall();
  std::string text;
  if (!ReadSizedText(lpszHeaders, dwHeadersLength, "lpszHeaders", &text, kMaxHeaderBlockLength)) return FALSE;
  if (text.empty()) return Fail(ERROR_INVALID_PARAMETER, "lpszHeaders holds no header.");
  std::lock_guard<std::mutex> lock(HandleLock());
  DWORD error = 0;
  auto request = FindHandleOf<Request>(hRequest, HandleKind::kRequest, &error);
  if (!request) return Fail(error);
  error = request->headers.Apply(text, dwModifiers);
  if (error != 0) return Fail(error);
  return Succeed();
}

BOOL WINAPI HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                             DWORD dwOptionalLength) {
  BeginCall();
  std::string extra;
  if (!ReadSizedText(lpszHeaders, dwHeadersLength, "lpszHeaders", &extra, kMaxHeaderBlockLength) ||
      !CheckReadable(lpOptional, dwOptionalLength, "lpOptional")) {
    return FALSE;
  }
  std::shared_ptr<const std::string> body;
  if (lpOptional != nullptr && dwOptionalLength > 0) {
    // The caller may free its buffer once the call returns.
    try {
      body = std::make_shared<const std::string>(static_cast<const char *>(lpOptional), dwOptionalLength);
    } catch (const std::bad_alloc &) {
      return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
  }
  std::shared_ptr<Request> request;
  std::shared_ptr<Transfer> previous, transfer;
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    DWORD error = 0;
    request = FindHandleOf<Request>(hRequest, HandleKind::kRequest, &error);
    if (!request) return Fail(error);
    if (!extra.empty()) {
      error = request->headers.Apply(extra, HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
      if (error != 0) return Fail(error);
    }
    transfer = std::make_shared<Transfer>(BuildSpec(*request, std::move(body)));
    previous = std::move(request->transfer);
  }
  // Sending again starts afresh: what is left of the last answer goes.
  if (previous) previous->Cancel();
  std::string detail;
  DWORD error = transfer->Prepare(&detail);
  if (error != 0) return Fail(error, detail);
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    if (request->closed) return Fail(ERROR_INTERNET_OPERATION_CANCELLED);
    request->transfer = transfer;
  }
  Engine::Instance().Start(transfer);
  if (transfer->async()) {
    // The status callback hears REQUEST_COMPLETE once the answer's head is in.
    return Fail(ERROR_IO_PENDING);
  }
  error = transfer->WaitForResponse(&detail);
  if (error != 0) return Fail(error, detail);
  return Succeed();
}
