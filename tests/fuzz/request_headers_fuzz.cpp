// HttpAddRequestHeadersA with fuzzed header texts and modifier flags on a
// request handle that is never sent, then HttpQueryInfoA of the request's
// headers (all of them and by name). Parsing, the modifiers' merging and the
// query's sizing must hold for any text.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "fuzz_session.h"
#include "windows.h"
#include "wininet.h"

namespace {

const DWORD kModifiers[] = {HTTP_ADDREQ_FLAG_ADD_IF_NEW, HTTP_ADDREQ_FLAG_ADD, HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA,
                            HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON, HTTP_ADDREQ_FLAG_REPLACE};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The port is never connected to: the request is not sent.
  static HINTERNET connection = zemfuzz::Connect(9);
  HINTERNET request = HttpOpenRequestA(connection, "GET", "/", nullptr, nullptr, nullptr, 0, 0);
  ZEM_FUZZ_CHECK(request != nullptr);

  zemfuzz::Input in(data, size);
  std::string first_name;
  // Each call: a byte of modifier choices, then the text up to a NUL byte.
  for (int calls = 0; !in.empty() && calls < 16; ++calls) {
    const uint8_t choice = in.Byte();
    DWORD modifiers = 0;
    for (size_t i = 0; i < sizeof(kModifiers) / sizeof(kModifiers[0]); ++i) {
      if (choice & (1u << i)) modifiers |= kModifiers[i];
    }
    const std::string text = in.Until('\0');
    // Given by length (it may then hold any byte) or as a terminated text.
    const DWORD length = (choice & 0x80) ? static_cast<DWORD>(text.size()) : static_cast<DWORD>(-1L);
    HttpAddRequestHeadersA(request, text.c_str(), length, modifiers);
    if (first_name.empty()) first_name = text.substr(0, text.find(':'));
  }

  std::string headers;
  for (DWORD level : {HTTP_QUERY_RAW_HEADERS_CRLF, HTTP_QUERY_RAW_HEADERS}) {
    if (zemfuzz::QueryText(request, level | HTTP_QUERY_FLAG_REQUEST_HEADERS, &headers) &&
        level == HTTP_QUERY_RAW_HEADERS_CRLF) {
      ZEM_FUZZ_CHECK(headers.find('\0') == std::string::npos);
    }
  }
  // By name: the buffer carries the name in and the value out.
  if (!first_name.empty() && first_name.size() < 256) {
    char buffer[512] = {};
    first_name.copy(buffer, first_name.size());
    DWORD length = sizeof buffer;
    if (HttpQueryInfoA(request, HTTP_QUERY_CUSTOM | HTTP_QUERY_FLAG_REQUEST_HEADERS, buffer, &length, nullptr)) {
      ZEM_FUZZ_CHECK(length < sizeof buffer && buffer[length] == '\0');
    }
  }
  ZEM_FUZZ_CHECK(InternetCloseHandle(request));
  return 0;
}
