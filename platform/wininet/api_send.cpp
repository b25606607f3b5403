// Sending a request: whole (HttpSendRequestA), or with a body written piece
// by piece (HttpSendRequestExA, InternetWriteFile, HttpEndRequestA). A
// synchronous send returns once the final answer's head has arrived, and
// every HTTP status is a successful send; an asynchronous one returns
// ERROR_IO_PENDING and its completion is reported to the status callback.
#include <memory>
#include <new>

#include "arguments.h"
#include "engine.h"
#include "failure.h"
#include "handles.h"
#include "transfer.h"

using namespace zem::wininet;

namespace {

// What a sending needs from the request and its parents (lock held).
SendSpec BuildSpec(const Request &request, std::string_view body) {
  const auto &connection = static_cast<const Connection &>(*request.parent);
  const auto &session = static_cast<const Session &>(*connection.parent);
  SendSpec setup;
  setup.flags = request.flags | (connection.flags & INTERNET_FLAG_SECURE);
  setup.secure = (setup.flags & INTERNET_FLAG_SECURE) != 0;
  setup.host = connection.host;
  setup.port = connection.port != 0 ? connection.port
                                   : static_cast<INTERNET_PORT>(setup.secure ? INTERNET_DEFAULT_HTTPS_PORT
                                                                            : INTERNET_DEFAULT_HTTP_PORT);
  setup.object = request.object;
  setup.method = request.verb;
  setup.http10 = request.http10;
  setup.headers = request.headers;
  setup.user_agent = EffectiveText(&request, &HandleOptions::user_agent);
  setup.body = body;
  setup.user = EffectiveText(&request, &HandleOptions::user_name);
  setup.password = EffectiveText(&request, &HandleOptions::password);
  setup.proxy_user = EffectiveText(&request, &HandleOptions::proxy_user_name);
  setup.proxy_password = EffectiveText(&request, &HandleOptions::proxy_password);
  setup.proxies = session.rules;
  setup.connect_timeout = EffectiveTimeout(&request, &HandleOptions::connect_timeout);
  setup.send_timeout = EffectiveTimeout(&request, &HandleOptions::send_timeout);
  setup.receive_timeout = EffectiveTimeout(&request, &HandleOptions::receive_timeout);
  setup.pool = session.pool;
  setup.status = {request.handle, request.context, request.callback};
  setup.async = (session.flags & INTERNET_FLAG_ASYNC) != 0;
  return setup;
}

// Starts a sending on the request: the extra headers join its list, a
// sending still running is dropped, and the new one goes to the engine.
// Returns null with the failure recorded.
std::shared_ptr<Transfer> StartSending(HINTERNET handle, const std::string &extra_headers,
                                       std::string_view body, long long streamed_size = -2) {
  std::shared_ptr<Request> request;
  std::shared_ptr<Transfer> previous, transfer;
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    DWORD error = 0;
    request = FindHandleOf<Request>(handle, HandleKind::kRequest, &error);
    if (!request) {
      Fail(error);
      return nullptr;
    }
    if (!extra_headers.empty()) {
      error = request->headers.Apply(extra_headers, HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
      if (error != 0) {
        Fail(error);
        return nullptr;
      }
    }
    SendSpec setup = BuildSpec(*request, body);
    // An asynchronous send returns at once, and its caller may free the
    // body then: the transfer keeps a copy. A synchronous one borrows it.
    if (setup.async && !body.empty()) {
      try {
        setup.owned_body = std::make_shared<const std::string>(body);
      } catch (const std::bad_alloc &) {
        Fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
      setup.body = *setup.owned_body;
    }
    if (streamed_size != -2) {
      setup.streamed = true;
      setup.streamed_size = streamed_size;
      if (streamed_size < 0) {
        // Without a size the body goes chunked, unless the caller gave its length.
        const HeaderField *length = setup.headers.Find("Content-Length");
        if (length != nullptr && !length->value.empty() &&
            length->value.find_first_not_of("0123456789") == std::string::npos) {
          setup.streamed_size = std::stoll(length->value);
        } else if (setup.http10) {
          Fail(ERROR_INVALID_PARAMETER, "An HTTP/1.0 request needs its body's size in dwBufferTotal.");
          return nullptr;
        }
      }
    }
    transfer = std::make_shared<Transfer>(std::move(setup));
    previous = std::move(request->transfer);
  }
  // Sending again starts afresh: what is left of the last answer goes.
  if (previous) previous->Cancel();
  std::string detail;
  const DWORD error = transfer->Prepare(&detail);
  if (error != 0) {
    Fail(error, detail);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    if (request->closed) {
      Fail(ERROR_INTERNET_OPERATION_CANCELLED);
      return nullptr;
    }
    request->transfer = transfer;
  }
  Engine::Instance().Start(transfer);
  return transfer;
}

// The sending of a request whose body is being written.
std::shared_ptr<Transfer> StreamedSending(HINTERNET handle) {
  std::lock_guard<std::mutex> lock(HandleLock());
  DWORD error = 0;
  auto request = FindHandleOf<Request>(handle, HandleKind::kRequest, &error);
  if (!request) {
    Fail(error);
    return nullptr;
  }
  if (!request->transfer || !request->transfer->streamed()) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "No body is being written: HttpSendRequestExA comes first.");
    return nullptr;
  }
  return request->transfer;
}

BOOL AwaitResponse(const std::shared_ptr<Transfer> &transfer) {
  // The status callback hears REQUEST_COMPLETE once the answer's head is in.
  if (transfer->async()) return Fail(ERROR_IO_PENDING);
  std::string detail;
  const DWORD error = transfer->WaitForResponse(&detail);
  if (error != 0) return Fail(error, detail);
  return Succeed();
}

}  // namespace

BOOL WINAPI HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                             DWORD dwOptionalLength) {
  BeginCall();
  std::string extra;
  if (!ReadSizedText(lpszHeaders, dwHeadersLength, "lpszHeaders", &extra, kMaxHeaderBlockLength) ||
      !CheckReadable(lpOptional, dwOptionalLength, "lpOptional")) {
    return FALSE;
  }
  std::string_view body;
  if (lpOptional != nullptr && dwOptionalLength > 0) body = {static_cast<const char *>(lpOptional), dwOptionalLength};
  auto transfer = StartSending(hRequest, extra, body);
  if (!transfer) return FALSE;
  const BOOL sent = AwaitResponse(transfer);
  // The caller may free its buffer once the call returns.
  transfer->LetGoOfCallerBody();
  return sent;
}

BOOL WINAPI HttpSendRequestExA(HINTERNET hRequest, LPINTERNET_BUFFERSA lpBuffersIn, LPINTERNET_BUFFERSA, DWORD,
                               DWORD_PTR) {
  BeginCall();
  INTERNET_BUFFERSA in{};
  in.dwStructSize = sizeof in;
  if (lpBuffersIn != nullptr) {
    if (!CheckReadable(lpBuffersIn, sizeof(DWORD), "lpBuffersIn")) return FALSE;
    // A record laid out for 32-bit pointers would be read in the wrong places.
    if (lpBuffersIn->dwStructSize != sizeof(INTERNET_BUFFERSA)) {
      return Fail(ERROR_INVALID_PARAMETER, "lpBuffersIn->dwStructSize is not " +
                                               std::to_string(sizeof(INTERNET_BUFFERSA)) + ".");
    }
    if (!CheckReadable(lpBuffersIn, sizeof in, "lpBuffersIn")) return FALSE;
    in = *lpBuffersIn;
  }
  std::string headers;
  if (!ReadSizedText(in.lpcszHeader, in.dwHeadersLength, "lpBuffersIn->lpcszHeader", &headers,
                     kMaxHeaderBlockLength) ||
      !CheckReadable(in.lpvBuffer, in.dwBufferLength, "lpBuffersIn->lpvBuffer")) {
    return FALSE;
  }
  const long long size = in.dwBufferTotal != 0 ? static_cast<long long>(in.dwBufferTotal) : -1;
  auto transfer = StartSending(hRequest, headers, {}, size);
  if (!transfer) return FALSE;
  if (in.lpvBuffer != nullptr && in.dwBufferLength > 0) {
    std::string detail;
    const DWORD error = transfer->Write(static_cast<const char *>(in.lpvBuffer), in.dwBufferLength, &detail);
    if (error != 0) return Fail(error, detail);
  }
  return Succeed();
}

BOOL WINAPI InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                              LPDWORD lpdwNumberOfBytesWritten) {
  BeginCall();
  if (lpdwNumberOfBytesWritten == nullptr) return Fail(ERROR_INVALID_PARAMETER, "lpdwNumberOfBytesWritten is null.");
  if (!CheckWritable(lpdwNumberOfBytesWritten, sizeof(DWORD), "lpdwNumberOfBytesWritten")) return FALSE;
  *lpdwNumberOfBytesWritten = 0;
  if (!CheckReadable(lpBuffer, dwNumberOfBytesToWrite, "lpBuffer")) return FALSE;
  auto transfer = StreamedSending(hFile);
  if (!transfer) return FALSE;
  std::string detail;
  const DWORD error = transfer->Write(static_cast<const char *>(lpBuffer), dwNumberOfBytesToWrite, &detail);
  if (error != 0) return Fail(error, detail);
  *lpdwNumberOfBytesWritten = dwNumberOfBytesToWrite;
  return Succeed();
}

BOOL WINAPI HttpEndRequestA(HINTERNET hRequest, LPINTERNET_BUFFERSA, DWORD, DWORD_PTR) {
  BeginCall();
  auto transfer = StreamedSending(hRequest);
  if (!transfer) return FALSE;
  const DWORD error = transfer->EndBody();
  if (error != 0) return Fail(error, "HttpEndRequestA was already called for this body.");
  return AwaitResponse(transfer);
}
