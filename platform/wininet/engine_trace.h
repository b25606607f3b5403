// The engine's trace, compiled in only with the CMake option
// ZEMHTTP_ENGINE_TRACE (off in release packages): one line per hand-over of
// the driving role, change of a transfer's stage, time-out and end of a
// transfer, naming the request handle and the reason. Lines go to standard
// error, or to the file named by ZEMHTTP_ENGINE_TRACE_FILE (appended to).
// Without the option the calls vanish, their arguments unevaluated.
#ifndef ZEM_WININET_ENGINE_TRACE_H
#define ZEM_WININET_ENGINE_TRACE_H

#ifdef ZEMHTTP_ENGINE_TRACE

namespace zem::wininet {
// One line: the time since the first line, the thread, then `format`.
void TraceLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace zem::wininet

#define ZEM_ENGINE_TRACE(...) ::zem::wininet::TraceLine(__VA_ARGS__)

#else

namespace zem::wininet {
// Never called: it only lets the arguments count as used, unevaluated.
int TraceArgumentsUnused(const char *format, ...);
}  // namespace zem::wininet

#define ZEM_ENGINE_TRACE(...) ((void)sizeof(::zem::wininet::TraceArgumentsUnused(__VA_ARGS__)))

#endif

#endif
