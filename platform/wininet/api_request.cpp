// HTTP requests: opening one on a connection, and its header list.
#include <memory>
#include <new>

#include "arguments.h"
#include "failure.h"
#include "handles.h"
#include "status_reports.h"

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
    if (!ReadLineText(types[i], "an accept type", &type)) return false;
    if (type.empty()) continue;
    if (!joined->empty()) *joined += ", ";
    *joined += type;
  }
}

}  // namespace

HINTERNET WINAPI HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName, LPCSTR lpszVersion,
                                  LPCSTR lpszReferrer, LPCSTR *lplpszAcceptTypes, DWORD dwFlags,
                                  DWORD_PTR dwContext) {
  BeginCall();
  std::string verb, object, version, referrer, accept;
  if (!ReadText(lpszVerb, "lpszVerb", &verb) || !ReadText(lpszObjectName, "lpszObjectName", &object) ||
      !ReadLineText(lpszVersion, "lpszVersion", &version) || !ReadLineText(lpszReferrer, "lpszReferrer", &referrer) ||
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
