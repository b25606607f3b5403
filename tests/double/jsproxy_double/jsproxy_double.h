// The stand-in for the auto-proxy library "jsproxy.dll", as a test sees it.
//
// The module exports InternetGetProxyInfo with the library's signature. Each
// call is recorded (the texts it was given, with their lengths) and answered
// as scripted: a result, a last error, and optionally a proxy text handed
// back in a block of local memory (LocalAlloc), which the caller of the
// lookup owns and releases with LocalFree.
//
// A test copies the module into a folder as jsproxy.dll, loads it by its full
// path and reaches the control through GetProcAddress(module,
// "ZemJsProxyControl").
#ifndef ZEM_TESTS_DOUBLE_JSPROXY_DOUBLE_H
#define ZEM_TESTS_DOUBLE_JSPROXY_DOUBLE_H

#include <string>
#include <vector>

#include "windows.h"

namespace zemjsproxy {

struct Call {
  bool bNullUrl = false;
  std::string url;  // as many characters as the length given
  DWORD cchUrl = 0;
  bool bNullHost = false;
  std::string host;
  DWORD cchHost = 0;
  LPSTR pszAnswer = nullptr;  // the block handed back, if any
};

class Control {
 public:
  // What every later call answers: the result, the last error it leaves
  // (0 included) and the proxy text (none when has_answer is false; an empty
  // text still comes as a block, with its length 1).
  virtual void Script(BOOL result, DWORD error, bool has_answer, const std::string &answer) = 0;
  virtual std::vector<Call> Calls() = 0;
  // Forgets calls; the script goes back to "succeed with no answer".
  virtual void Reset() = 0;

 protected:
  ~Control() = default;
};

typedef Control *(*ControlEntry)();
#define ZEM_JSPROXY_CONTROL_SYMBOL "ZemJsProxyControl"

}  // namespace zemjsproxy

#endif  // ZEM_TESTS_DOUBLE_JSPROXY_DOUBLE_H
