// One evaluation of a PAC script, bounded in time.
//
// The script engine runs in the calling process's address space and cannot
// be interrupted from outside, so each evaluation runs in a forked child: a
// script that never returns is killed when its time is up, and one that
// crashes the engine takes only the child with it. The child starts the
// engine, compiles the script, calls FindProxyForURL once and writes the
// answer (or the engine's error text) to a pipe.
#ifndef ZEM_JSPROXY_PAC_EVAL_H
#define ZEM_JSPROXY_PAC_EVAL_H

#include <string>

#include "windows.h"

namespace zem::jsproxy {

struct PacAnswer {
  DWORD error = 0;     // 0, or an ERROR_INTERNET_* code (see jsproxy.h)
  std::string text;    // the script's answer, or what went wrong
};

// The time limit of one evaluation: ZEMHTTP_PAC_TIMEOUT_MS when it names a
// positive number of milliseconds, else 5000.
unsigned PacTimeLimitMs();

PacAnswer EvaluatePac(const std::string &script, const std::string &url, const std::string &host,
                      unsigned limit_ms);

}  // namespace zem::jsproxy

#endif  // ZEM_JSPROXY_PAC_EVAL_H
