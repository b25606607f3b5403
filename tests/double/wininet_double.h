// The scripted stand-in for the internet library, as a test sees it.
//
// The module exports every function the client binds (and
// InternetAutodialHangup) with the library's signatures. Each call is
// recorded: the function name, its arguments (texts and data copied, handles
// and numbers as values) and its result. What a call answers is scripted per
// function:
//
//   ctl.On("HttpSendRequestA").Fail(ERROR_INTERNET_CANNOT_CONNECT);
//   ctl.On("InternetReadFile").Data("hello").Then().Data("");   // a sequence
//   ctl.On("HttpQueryInfoA").Do([](const zemdouble::Invocation &inv) { ...; return TRUE; });
//
// A script is a sequence of answers; each call takes the next one and the last
// one repeats. Unscripted functions answer a sensible default: distinct fake
// handles, TRUE, a minimal "200 OK" response without a body, a URL cracked
// and canonicalised as given, direct proxy access.
//
// A test reaches the control through GetProcAddress(module, "ZemDoubleControl")
// (see double_fixture.h).
#ifndef ZEM_TESTS_DOUBLE_WININET_DOUBLE_H
#define ZEM_TESTS_DOUBLE_WININET_DOUBLE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "windows.h"
#include "wininet.h"

namespace zemdouble {

// One recorded argument. Pointers to texts and data arrive as text (is_null
// when the pointer was null); handles, numbers and out-parameter addresses as
// number.
struct Arg {
  bool is_null = false;
  bool is_text = false;
  uint64_t number = 0;
  std::string text;
};

struct Call {
  std::string function;
  std::vector<Arg> args;
  uint64_t result = 0;

  uint64_t Num(size_t i) const { return i < args.size() ? args[i].number : 0; }
  std::string Text(size_t i) const { return i < args.size() ? args[i].text : std::string(); }
  bool IsNull(size_t i) const { return i < args.size() && args[i].is_null; }
  HINTERNET Handle(size_t i) const { return reinterpret_cast<HINTERNET>(static_cast<uintptr_t>(Num(i))); }
};

// The raw arguments of the call being answered, for callbacks that fill
// out-parameters; raw[i] is argument i as an integer.
struct Invocation {
  const char *function = nullptr;
  std::vector<uintptr_t> raw;

  template <typename T>
  T *Ptr(size_t i) const {
    return reinterpret_cast<T *>(raw.at(i));
  }
  DWORD Dword(size_t i) const { return static_cast<DWORD>(raw.at(i)); }
};

// One function's answers.
class Script {
 public:
  virtual ~Script() = default;
  // Result of the current answer (a BOOL, a handle value or a number); the
  // last error is left as it is unless Error sets it.
  virtual Script &Return(uint64_t result) = 0;
  // The current answer fails: result 0 (FALSE, null handle) and last error.
  virtual Script &Fail(DWORD error) = 0;
  // The current answer runs a callback: it may fill out-parameters and set
  // the last error, and returns the call's result.
  virtual Script &Do(std::function<uint64_t(const Invocation &)> action) = 0;
  // The current answer succeeds with this data in the function's
  // out-parameter: InternetReadFile's bytes (at most what was asked for; the
  // rest comes with the next call), HttpQueryInfoA's, InternetQueryOptionA's
  // or InternetCanonicalizeUrlA's buffer (122 and the size needed when the
  // buffer is short), InternetGetLastResponseInfoA's text,
  // InternetQueryDataAvailable's byte count (the data's length).
  virtual Script &Data(const std::string &data) = 0;
  // InternetGetLastResponseInfoA: the response error number with the text.
  virtual Script &Response(DWORD error, const std::string &text) = 0;
  // InternetQueryOptionA with INTERNET_OPTION_PROXY answers this record, its
  // texts packed behind it in the caller's buffer.
  virtual Script &ProxyInfo(DWORD access_type, const std::string &proxy, const std::string &bypass) = 0;
  // Starts the next answer of the sequence.
  virtual Script &Then() = 0;
};

class Control {
 public:
  // The script of one function, created empty (default answers) on first use.
  virtual Script &On(const std::string &function) = 0;
  // Every call since the last Reset, in order.
  virtual std::vector<Call> Calls() = 0;
  // The calls to one function, in order.
  virtual std::vector<Call> CallsTo(const std::string &function) = 0;
  // The function names of every call, in order.
  virtual std::vector<std::string> Names() = 0;
  // Forgets calls and scripts; handles count from the start again.
  virtual void Reset() = 0;

 protected:
  ~Control() = default;
};

// The exported entry that hands out the control.
typedef Control *(*ControlEntry)();
#define ZEM_DOUBLE_CONTROL_SYMBOL "ZemDoubleControl"

// The first fake handle the double hands out; later ones follow in steps.
constexpr uintptr_t kFirstHandle = 0xC0DE0010;
constexpr uintptr_t kHandleStep = 0x10;

}  // namespace zemdouble

#endif  // ZEM_TESTS_DOUBLE_WININET_DOUBLE_H
