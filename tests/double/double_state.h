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
  INTERNET_SCHEME nScheme = INTERNET_SCHEME_HTTP;
  std::string host;
  INTERNET_PORT nPort = INTERNET_DEFAULT_HTTP_PORT;
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
  bool setsError = false;
  DWORD error = 0;
  std::function<uint64_t(const Invocation &)> action;
  std::string data;  // kData; for InternetReadFile the part this call delivers
  DWORD accessType = INTERNET_OPEN_TYPE_DIRECT;
  std::string proxy;
  std::string bypass;
};

// Builds the record of one call as its arguments are taken in.
class CallBuilder {
 public:
  explicit CallBuilder(const char *function);
  CallBuilder &Number(uint64_t value);
  CallBuilder &Pointer(const void *pv) { return Number(reinterpret_cast<uintptr_t>(pv)); }
  // A NUL-terminated text, or cch characters of it when cch is not -1.
  CallBuilder &Text(const char *psz, long long cch = -1);
  // The value an in/out DWORD held on entry (null recorded as null).
  CallBuilder &DwordIn(const DWORD *pdw);
  Invocation &Raw() { return invocation_; }
  Call &Record() { return call_; }

 private:
  Call call_;
  Invocation invocation_;
};

// Takes the answer for the next call of a function. For InternetReadFile a
// data answer is delivered in parts of at most cbWanted bytes.
Answer TakeAnswer(const std::string &function, DWORD cbWanted = 0);
// Bytes of scripted InternetReadFile data not yet delivered.
DWORD PendingReadBytes();
// Records a finished call with its result.
uint64_t Finish(CallBuilder &builder, uint64_t result);
// A fake handle, distinct from every other one handed out since Reset.
HINTERNET NewHandle();

// Applies an answer that is not function-specific (return, fail, callback).
// Returns true when it did, with the result in *pResult.
bool ApplyGeneric(const Answer &answer, const Invocation &invocation, uint64_t *pResult);

// Writing into a caller's buffer of *pcb bytes as the library does: a short
// or missing buffer fails with 122 and the size needed (the text's NUL
// counted); success sets *pcb to the length without the NUL.
BOOL PutText(const std::string &text, char *pszBuffer, DWORD *pcb);
// The same for raw bytes (no terminator); *pcb becomes their count.
BOOL PutBytes(const std::string &bytes, void *pvBuffer, DWORD *pcb);

// Default and scripted answers that fill out-parameters.
BOOL CrackUrl(const char *pszUrl, DWORD cchUrl, URL_COMPONENTSA *pParts);
BOOL QueryInfoDefault(DWORD dwLevel, void *pvBuffer, DWORD *pcb);
BOOL QueryProxy(const Answer &answer, void *pvBuffer, DWORD *pcb);

}  // namespace zemdouble

#endif  // ZEM_TESTS_DOUBLE_DOUBLE_STATE_H
