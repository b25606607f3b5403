// Windows string helpers.
#include <climits>

#include "memory_probe.h"
#include "windows.h"

int WINAPI lstrlenA(LPCSTR lpString) {
  // Windows answers 0 for a null or unreadable text instead of faulting.
  const auto length = zem::platform::ProbeStringLength(lpString, INT_MAX);
  return length ? static_cast<int>(*length) : 0;
}
