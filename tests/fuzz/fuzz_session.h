// The internet session the fuzz targets share: opened once per process,
// direct (no proxy from the environment), with short time-outs so that an
// answer that never ends costs a fraction of a second, not half a minute.
#ifndef ZEM_FUZZ_SESSION_H
#define ZEM_FUZZ_SESSION_H

#include "fuzz_input.h"
#include "windows.h"
#include "wininet.h"

namespace zemfuzz {

inline HINTERNET Session() {
  static HINTERNET session = [] {
    HINTERNET h = InternetOpenA("zemfuzz", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ZEM_FUZZ_CHECK(h != nullptr);
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
      DWORD ms = 1000;
      ZEM_FUZZ_CHECK(InternetSetOptionA(h, option, &ms, sizeof ms));
    }
    return h;
  }();
  return session;
}

// A connection handle to 127.0.0.1:port; nothing is sent until a request is.
inline HINTERNET Connect(INTERNET_PORT port) {
  HINTERNET h = InternetConnectA(Session(), "127.0.0.1", port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  ZEM_FUZZ_CHECK(h != nullptr);
  return h;
}

// The answer of HttpQueryInfoA for a level: a size request first, then the
// text into a buffer of that size, which must then fit exactly. False when
// the level has no answer.
inline bool QueryText(HINTERNET request, DWORD level, std::string *out) {
  DWORD size = 0;
  if (HttpQueryInfoA(request, level, nullptr, &size, nullptr)) return false;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  ZEM_FUZZ_CHECK(size > 0);
  std::string buffer(size + 8, '\x5A');
  DWORD length = size;
  ZEM_FUZZ_CHECK(HttpQueryInfoA(request, level, &buffer[0], &length, nullptr));
  ZEM_FUZZ_CHECK(length < size);
  for (size_t g = size; g < buffer.size(); ++g) ZEM_FUZZ_CHECK(buffer[g] == '\x5A');
  out->assign(buffer.data(), length);
  return true;
}

}  // namespace zemfuzz

#endif
