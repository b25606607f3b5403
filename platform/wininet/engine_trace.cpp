#include "engine_trace.h"

#ifdef ZEMHTTP_ENGINE_TRACE

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace zem::wininet {
namespace {

// Opened on the first line and kept for the process's life: lines may come
// from threads that outlive static destruction.
FILE *TraceFile() {
  static FILE *file = [] {
    const char *path = std::getenv("ZEMHTTP_ENGINE_TRACE_FILE");
    FILE *opened = path != nullptr && *path != '\0' ? std::fopen(path, "a") : nullptr;
    return opened != nullptr ? opened : stderr;
  }();
  return file;
}

}  // namespace

void TraceLine(const char *format, ...) {
  using Clock = std::chrono::steady_clock;
  static const Clock::time_point start = Clock::now();
  static std::mutex mutex;
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  const long long us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  std::lock_guard<std::mutex> lock(mutex);
  FILE *file = TraceFile();
  std::fprintf(file, "engine %lld.%06lld tid %ld %s\n", us / 1000000, us % 1000000,
               static_cast<long>(syscall(SYS_gettid)), text);
  std::fflush(file);
}

}  // namespace zem::wininet

#endif
