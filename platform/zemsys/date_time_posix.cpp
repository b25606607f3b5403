// The local clock through the C library's reentrant conversion.
#include <time.h>

#include "local_clock.h"

bool zem::sys::LocalNow(std::tm *tm_now) {
  const time_t now = ::time(nullptr);
  return ::localtime_r(&now, tm_now) != nullptr;
}
