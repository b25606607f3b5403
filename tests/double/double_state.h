// Inside the double: the recorded calls, the scripts and how one call is
// answered.
#ifndef ZEM_TESTS_DOUBLE_DOUBLE_STATE_H
#define ZEM_TESTS_DOUBLE_DOUBLE_STATE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wininet_double.h"

namespace zemdouble {

// The parts InternetCrackUrlA hands back for a URL.
struct CrackedUrl {
  std::string scheme;
  INTERNET_SCHEME scheme_number = INTERNET_SCHEME_HTTP;
  std::string host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  std::string user;
  std::string password;
  std::string path;
  std::string extra;
};

// One scripted answer.
struct Answer {
  enum Kind { kDefault, kReturn, kFail, kDo, kData, kResponse, kProxy };
  Kind kind = kDefault;
  uint64_t result = 0;
  bool sets_error = false;
  DWORD error = 0;
  std::function<uint64_t(const Invocation &)> action;
  std::string data;  // kData; for InternetReadFile the part this call delivers
  DWORD access_type = INTERNET_OPEN_TYPE_DIRECT;
  std::string proxy;
  std::string bypass;
};

// Builds the record of one call as its arguments are taken in.
class CallBuilder {
 public:
  explicit CallBuilder(const char *function);
  CallBuilder &Number(uint64_t value);
  CallBuilder &Pointer(const void *pointer) { return Number(reinterpret_cast<uintptr_t>(pointer)); }
  // A NUL-terminated text, or length characters of it when length is not -1.
  CallBuilder &Text(const char *chars, long long length = -1);
  // The value an in/out DWORD held on entry (null recorded as null).
  CallBuilder &DwordIn(const DWORD *value);
  Invocation &Raw() { return invocation_; }
  Call &Record() { return call_; }

 private:
  Call call_;
  Invocation invocation_;
};

// Takes the answer for the next call of a function. For InternetReadFile a
// data answer is delivered in parts of at most wanted bytes.
Answer TakeAnswer(const std::string &function, DWORD wanted = 0);
// Bytes of scripted InternetReadFile data not yet delivered.
DWORD PendingReadBytes();
// Records a finished call with its result.
uint64_t Finish(CallBuilder &builder, uint64_t result);
// A fake handle, distinct from every other one handed out since Reset.
HINTERNET NewHandle();

// Applies an answer that is not function-specific (return, fail, callback).
// Returns true when it did, with the result in *result.
bool ApplyGeneric(const Answer &answer, const Invocation &invocation, uint64_t *result);

// Writing into a caller's buffer of *size bytes as the library does: a short
// or missing buffer fails with 122 and the size needed (the text's NUL
// counted); success sets *size to the length without the NUL.
BOOL PutText(const std::string &text, char *buffer, DWORD *size);
// The same for raw bytes (no terminator); *size becomes their count.
BOOL PutBytes(const std::string &bytes, void *buffer, DWORD *size);

// Default and scripted answers that fill out-parameters.
BOOL CrackUrl(const char *url_text, DWORD length, URL_COMPONENTSA *components);
BOOL QueryInfoDefault(DWORD level, void *buffer, DWORD *size);
BOOL QueryProxy(const Answer &answer, void *buffer, DWORD *size);

}  // namespace zemdouble

#endif  // ZEM_TESTS_DOUBLE_DOUBLE_STATE_H
