// Today's date and the time of day as packed 32-bit values, and their texts.
//
// Date: year << 16 | month << 8 | day.  Time: hour << 16 | minute << 8 | second.
// Both are local time, as a reader of a log expects.
#include <cstdio>
#include <cstring>

#include "ZemSys.h"
#include "local_clock.h"
#include "pointer_check.h"

using zem::sys::LocalNow;

namespace {

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Writes text (fixed width, at most 11 characters) and returns its length.
int Emit(char *pszBuffer, const char *pszText) {
  const size_t cch = std::strlen(pszText);
  std::memcpy(pszBuffer, pszText, cch + 1);
  return static_cast<int>(cch);
}

}  // namespace

void WINAPI SysGetDate(DWORD *pdwDate) {
  if (!zem::sys::IsAddress(pdwDate)) return;
  std::tm now;
  *pdwDate = 0;
  if (!LocalNow(&now)) return;
  *pdwDate = static_cast<DWORD>(now.tm_year + 1900) << 16 | static_cast<DWORD>(now.tm_mon + 1) << 8 |
             static_cast<DWORD>(now.tm_mday);
}

void WINAPI SysGetTime(DWORD *pdwTime) {
  if (!zem::sys::IsAddress(pdwTime)) return;
  std::tm now;
  *pdwTime = 0;
  if (!LocalNow(&now)) return;
  *pdwTime = static_cast<DWORD>(now.tm_hour) << 16 | static_cast<DWORD>(now.tm_min) << 8 |
             static_cast<DWORD>(now.tm_sec);
}

int WINAPI SysFormatDate(DWORD dwDate, DWORD /*dwDate2*/, char *pszBuffer, int /*nStyle*/, int /*nFlags*/) {
  if (!zem::sys::IsAddress(pszBuffer)) return 0;
  const unsigned year = dwDate >> 16, month = (dwDate >> 8) & 0xFF, day = dwDate & 0xFF;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    // Escaped: "??-" would read as a trigraph.
    return Emit(pszBuffer, "?\?\?\?-?\?-?\?");
  }
  char text[16];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", year, month, day);
  return Emit(pszBuffer, text);
}

int WINAPI SysFormatTime(DWORD dwTime, char *pszBuffer, DWORD /*dwFlags*/) {
  if (!zem::sys::IsAddress(pszBuffer)) return 0;
  const unsigned hour = dwTime >> 16, minute = (dwTime >> 8) & 0xFF, second = dwTime & 0xFF;
  // 60 is a leap second, which local time can show.
  if (hour > 23 || minute > 59 || second > 60) return Emit(pszBuffer, "??:??:??");
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", hour, minute, second);
  return Emit(pszBuffer, text);
}
