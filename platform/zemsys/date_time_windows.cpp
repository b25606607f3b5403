// The local clock through the system's local time.
#include <windows.h>

#include "local_clock.h"

bool zem::sys::LocalNow(std::tm *tm_now) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  *tm_now = std::tm{};
  tm_now->tm_year = now.wYear - 1900;
  tm_now->tm_mon = now.wMonth - 1;
  tm_now->tm_mday = now.wDay;
  tm_now->tm_hour = now.wHour;
  tm_now->tm_min = now.wMinute;
  tm_now->tm_sec = now.wSecond;
  return true;
}
