// Helpers for the internet library's tests: handles that close themselves,
// a request opened on 127.0.0.1 in one line, and readers of the answer.
#ifndef ZEM_TEST_INTERNET_TEST_UTIL_H
#define ZEM_TEST_INTERNET_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>

#include "loopback_servers.h"
#include "wininet.h"

namespace wintest {

class Handle {
 public:
  explicit Handle(HINTERNET h = nullptr) : h_(h) {}
  ~Handle() { reset(); }
  Handle(const Handle &) = delete;
  Handle &operator=(const Handle &) = delete;
  HINTERNET get() const { return h_; }
  operator HINTERNET() const { return h_; }
  HINTERNET release() {
    HINTERNET h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HINTERNET h = nullptr) {
    if (h_ != nullptr) InternetCloseHandle(h_);
    h_ = h;
  }

 private:
  HINTERNET h_;
};

// A scripted server started for each test; a suite derives its own empty
// fixture from this one so that its tests keep the suite's name.
class ServedTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.ok()); }
  zemtest::ScriptedServer server;
};

// A session, a connection to 127.0.0.1:port and one request on it.
struct OpenRequest {
  Handle session, connection, request;
  OpenRequest(int port, const char *verb, const char *object, DWORD flags = 0,
              DWORD access = INTERNET_OPEN_TYPE_DIRECT, const char *proxy = nullptr, const char *bypass = nullptr,
              const char *host = "127.0.0.1")
      : session(InternetOpenA("zemtest agent", access, proxy, bypass, 0)),
        connection(InternetConnectA(session, host, static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                    INTERNET_SERVICE_HTTP, 0, 0)),
        request(HttpOpenRequestA(connection, verb, object, nullptr, nullptr, nullptr, flags, 0)) {}
  bool ok() const { return request.get() != nullptr; }
  bool Send(const std::string &body = "", const char *headers = nullptr) {
    return HttpSendRequestA(request, headers, headers ? static_cast<DWORD>(-1) : 0,
                            body.empty() ? nullptr : const_cast<char *>(body.data()),
                            static_cast<DWORD>(body.size())) != FALSE;
  }
};

inline DWORD StatusCode(HINTERNET request) {
  DWORD status = 0, size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
  return status;
}

// The text of a query level ("" and the error in *error when it fails).
inline std::string QueryText(HINTERNET request, DWORD level, DWORD *error = nullptr, DWORD index = 0) {
  DWORD size = 0;
  DWORD dummy = 0;
  if (error == nullptr) error = &dummy;
  *error = 0;
  if (HttpQueryInfoA(request, level, nullptr, &size, &index) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    *error = GetLastError();
    return "";
  }
  std::string text(size, '\0');
  if (!HttpQueryInfoA(request, level, text.data(), &size, &index)) {
    *error = GetLastError();
    return "";
  }
  text.resize(size);
  return text;
}

// A header by name (HTTP_QUERY_CUSTOM: the name goes in the buffer).
inline std::string QueryCustom(HINTERNET request, const std::string &name, DWORD *error = nullptr) {
  std::string buffer = name;
  buffer.resize(name.size() + 1, '\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  BOOL ok = HttpQueryInfoA(request, HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer = name;
    buffer.resize(size, '\0');
    ok = HttpQueryInfoA(request, HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr);
  }
  if (!ok) {
    if (error != nullptr) *error = GetLastError();
    return "";
  }
  if (error != nullptr) *error = 0;
  buffer.resize(size);
  return buffer;
}

// The whole body, read the way callers of the library read it: ask what is
// available, read exactly that, until nothing is left. *error gets the
// failure that ended it early, 0 otherwise.
inline std::string ReadBody(HINTERNET request, DWORD *error = nullptr) {
  std::string body;
  DWORD dummy = 0;
  if (error == nullptr) error = &dummy;
  *error = 0;
  for (;;) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
      *error = GetLastError();
      return body;
    }
    if (available == 0) return body;
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!InternetReadFile(request, chunk.data(), available, &read)) {
      *error = GetLastError();
      return body;
    }
    body.append(chunk, 0, read);
  }
}

// The thread's failure description from InternetGetLastResponseInfoA.
inline std::string LastResponseText(DWORD *code = nullptr) {
  DWORD error = 0, size = 0;
  InternetGetLastResponseInfoA(&error, nullptr, &size);
  std::string text(size, '\0');
  if (size > 0 && !InternetGetLastResponseInfoA(&error, text.data(), &size)) return "";
  text.resize(size);
  if (code != nullptr) *code = error;
  return text;
}

}  // namespace wintest

#endif
