// Tests that need something Wine does not provide (an option its internet
// library lacks or treats otherwise, a dialog, a service) are marked with
// ZEMTEST_NOT_UNDER_WINE("reason"): under Wine they are skipped with the
// reason, so a Wine run counts them instead of hiding them. Anywhere else
// they run as usual.
#ifndef ZEM_TEST_UNDER_WINE_H
#define ZEM_TEST_UNDER_WINE_H

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace zemtest {

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace zemtest

#define ZEMTEST_NOT_UNDER_WINE(reason) \
  if (::zemtest::UnderWine()) GTEST_SKIP() << "not under Wine: " << (reason)

#endif
