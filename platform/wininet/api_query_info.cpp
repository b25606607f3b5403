// HttpQueryInfoA: the final response's status, version, named and raw
// headers (or the request's, with HTTP_QUERY_FLAG_REQUEST_HEADERS), as text,
// as a number or as a date, with the index for repeated headers and the
// usual sizing contract (ERROR_INSUFFICIENT_BUFFER with the size needed).
#include <curl/curl.h>

#include <cstring>
#include <ctime>

#include "arguments.h"
#include "failure.h"
#include "handles.h"
#include "transfer.h"

using namespace zem::wininet;

namespace {

// Header names by query level; null where the level is not a header name.
const char *const kHeaderNames[] = {
    "Mime-Version", "Content-Type", "Content-Transfer-Encoding", "Content-ID", "Content-Description",
    "Content-Length", "Content-Language", "Allow", "Public", "Date", "Expires", "Last-Modified", "Message-ID",
    "URI", "Derived-From", "Cost", "Link", "Pragma",
    nullptr /* VERSION */, nullptr /* STATUS_CODE */, nullptr /* STATUS_TEXT */, nullptr /* RAW_HEADERS */,
    nullptr /* RAW_HEADERS_CRLF */, "Connection", "Accept", "Accept-Charset", "Accept-Encoding",
    "Accept-Language", "Authorization", "Content-Encoding", "Forwarded", "From", "If-Modified-Since", "Location",
    "Orig-URI", "Referer", "Retry-After", "Server", "Title", "User-Agent", "WWW-Authenticate",
    "Proxy-Authenticate", "Accept-Ranges", "Set-Cookie", "Cookie", nullptr /* REQUEST_METHOD */, "Refresh",
    "Content-Disposition", "Age", "Cache-Control", "Content-Base", "Content-Location", "Content-MD5",
    "Content-Range", "ETag", "Host", "If-Match", "If-None-Match", "If-Range", "If-Unmodified-Since",
    "Max-Forwards", "Proxy-Authorization", "Range", "Transfer-Encoding", "Upgrade", "Vary", "Via", "Warning",
    "Expect", "Proxy-Connection", "Unless-Modified-Since", nullptr, nullptr, nullptr, nullptr /* ECHO_* */,
    "Proxy-Support", "Authentication-Info", "PassportURLs", "PassportConfig"};
static_assert(sizeof(kHeaderNames) / sizeof(kHeaderNames[0]) == HTTP_QUERY_MAX + 1, "one name per query level");

// What is queried: the final response, or the request as last sent.
struct Source {
  std::shared_ptr<const ResponseHead> head;
  bool request_side = false;
  std::string request_line_version;
  std::string verb;
  std::string target;
  HeaderList request_fields;
};

struct Answer {
  DWORD error = 0;
  std::string text;
  bool indexed = false;  // a header that may repeat: the index applies
};

Answer Lookup(const Source &source, DWORD level, const std::string &custom, DWORD index) {
  Answer answer;
  // Hands each raw line to `use`: a response's where its head keeps them,
  // the request's built only when asked for.
  auto each_line = [&source](auto &&use) {
    if (!source.request_side) {
      for (const std::string &line : source.head->lines) use(line);
      return;
    }
    use(source.verb + " " + source.target + " " + source.request_line_version);
    for (const HeaderField &field : source.request_fields.fields()) use(field.name + ": " + field.value);
  };
  switch (level) {
    case HTTP_QUERY_STATUS_CODE:
    case HTTP_QUERY_STATUS_TEXT:
      if (source.request_side) {
        answer.error = ERROR_HTTP_HEADER_NOT_FOUND;
      } else {
        answer.text = level == HTTP_QUERY_STATUS_CODE ? std::to_string(source.head->status) : source.head->reason;
      }
      return answer;
    case HTTP_QUERY_VERSION:
      answer.text = source.request_side ? source.request_line_version : source.head->version;
      return answer;
    case HTTP_QUERY_REQUEST_METHOD:
      answer.text = source.verb;
      return answer;
    case HTTP_QUERY_RAW_HEADERS:
      // Each line ends with a zero; the terminator added on copying ends the list.
      each_line([&answer](const std::string &line) { answer.text.append(line).push_back('\0'); });
      return answer;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
      each_line([&answer](const std::string &line) { answer.text.append(line).append("\r\n"); });
      answer.text.append("\r\n");
      return answer;
    default:
      break;
  }
  const char *name = level == HTTP_QUERY_CUSTOM ? custom.c_str() : level <= HTTP_QUERY_MAX ? kHeaderNames[level] : nullptr;
  if (name == nullptr || *name == '\0') {
    answer.error = ERROR_HTTP_INVALID_QUERY_REQUEST;
    return answer;
  }
  answer.indexed = true;
  const HeaderField *field =
      source.request_side ? source.request_fields.Find(name, index) : source.head->fields.Find(name, index);
  if (field == nullptr) {
    answer.error = ERROR_HTTP_HEADER_NOT_FOUND;
  } else {
    answer.text = field->value;
  }
  return answer;
}

bool ParseNumber(const std::string &text, DWORD *value) {
  std::string_view digits = TrimBlanks(text);
  if (digits.empty()) return false;
  unsigned long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    number = std::min<unsigned long long>(number * 10 + static_cast<unsigned>(c - '0'), UINT32_MAX);
  }
  *value = static_cast<DWORD>(number);
  return true;
}

// A date as the eight 16-bit fields of a Windows SYSTEMTIME, in UTC.
bool ParseDate(const std::string &text, WORD fields[8]) {
  const time_t when = curl_getdate(text.c_str(), nullptr);
  if (when == -1) return false;
  struct tm utc;
  if (gmtime_r(&when, &utc) == nullptr) return false;
  const int values[8] = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_wday, utc.tm_mday,
                         utc.tm_hour,        utc.tm_min,     utc.tm_sec,  0};
  for (int i = 0; i < 8; ++i) fields[i] = static_cast<WORD>(values[i]);
  return true;
}

}  // namespace

BOOL WINAPI HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                           LPDWORD lpdwIndex) {
  BeginCall();
  if (lpdwBufferLength == nullptr) return Fail(ERROR_INVALID_PARAMETER, "lpdwBufferLength is null.");
  if (!CheckWritable(lpdwBufferLength, sizeof(DWORD), "lpdwBufferLength") ||
      (lpdwIndex != nullptr && !CheckWritable(lpdwIndex, sizeof(DWORD), "lpdwIndex"))) {
    return FALSE;
  }
  const DWORD modifiers = dwInfoLevel & HTTP_QUERY_MODIFIER_FLAGS_MASK;
  const DWORD level = dwInfoLevel & HTTP_QUERY_HEADER_MASK;
  const bool number = (modifiers & HTTP_QUERY_FLAG_NUMBER) != 0;
  const bool date = (modifiers & HTTP_QUERY_FLAG_SYSTEMTIME) != 0;
  if (number && date) return Fail(ERROR_INVALID_PARAMETER, "A value is either a number or a date.");
  std::string custom;
  if (level == HTTP_QUERY_CUSTOM) {
    // The header's name comes in the buffer the answer goes to.
    if (lpBuffer == nullptr) return Fail(ERROR_INVALID_PARAMETER, "HTTP_QUERY_CUSTOM needs the name in lpBuffer.");
    if (!ReadText(static_cast<LPCSTR>(lpBuffer), "the header name in lpBuffer", &custom)) return FALSE;
  }
  const DWORD index = lpdwIndex != nullptr ? *lpdwIndex : 0;

  Source source;
  source.request_side = (modifiers & HTTP_QUERY_FLAG_REQUEST_HEADERS) != 0;
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    DWORD error = 0;
    auto request = FindHandleOf<Request>(hRequest, HandleKind::kRequest, &error);
    if (!request) return Fail(error);
    source.verb = request->verb;
    source.target = request->object;
    source.request_line_version = request->http10 ? "HTTP/1.0" : "HTTP/1.1";
    if (source.request_side) {
      if (!request->transfer) {
        source.request_fields = request->headers;
      } else {
        for (HeaderField &field : request->transfer->SentHeaders()) {
          source.request_fields.Append(std::move(field.name), std::move(field.value));
        }
      }
    } else if (request->transfer) {
      source.head = request->transfer->Head();
    }
  }
  if (!source.request_side && !source.head) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "No response has arrived on this request.");
  }
  const Answer answer = Lookup(source, level, custom, index);
  if (answer.error != 0) return Fail(answer.error);

  BOOL copied;
  if (number) {
    DWORD value = 0;
    if (!ParseNumber(answer.text, &value)) {
      return Fail(ERROR_HTTP_INVALID_HEADER, "The header's value \"" + answer.text + "\" is not a number.");
    }
    copied = CopyToCaller(&value, sizeof value, sizeof value, lpBuffer, lpdwBufferLength);
  } else if (date) {
    WORD fields[8];
    if (!ParseDate(answer.text, fields)) {
      return Fail(ERROR_HTTP_INVALID_HEADER, "The header's value \"" + answer.text + "\" is not a date.");
    }
    copied = CopyToCaller(fields, sizeof fields, sizeof fields, lpBuffer, lpdwBufferLength);
  } else {
    // Text: the size needed counts the terminating zero, the length returned does not.
    const DWORD size = static_cast<DWORD>(answer.text.size());
    copied = CopyToCaller(answer.text.c_str(), size + 1, size, lpBuffer, lpdwBufferLength);
  }
  if (!copied) return FALSE;
  if (answer.indexed && lpdwIndex != nullptr) *lpdwIndex = index + 1;
  return Succeed();
}
