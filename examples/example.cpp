// A tour of the client object without a network: construct, log, look at the
// internet library, record and read an error, read the log back, and turn a
// few status codes into texts.
#include <ZemHttp.h>

#include <cstdio>
#include <string>

int main() {
  CZemHttp http;

  // Keep up to 100 service log lines, 20 slots first, growing by 20.
  http.EnableLogging(100, 20, 20);
  http.LogAddLine("example: client constructed");

  std::printf("internet library available: %s\n", http.CheckSystemAvailable() ? "yes" : "no");
  if (!http.CheckSystemAvailable()) {
    char szError[256];
    http.GetErrorString(szError, sizeof szError - 1);
    std::printf("  why: %s\n", szError);
  }

  // An operating-system error recorded the way every member records one: the
  // system's code (0 here), a text naming the member, and a fallback code.
  http.SetError(0, "example: could not open the input file, error# %d", ERROR_FILE_NOT_FOUND);
  char szError[256];
  http.GetErrorString(szError, sizeof szError - 1);
  std::printf("last OS error %u, internet error %u: %s\n", static_cast<unsigned>(http.GetLastOSError()),
              static_cast<unsigned>(http.GetLastInternetError()), szError);

  // The log as one text: ask for the length, then fill a buffer that holds it.
  const int cchLog = http.GetDebugBuffer(nullptr);
  std::string log(cchLog > 0 ? static_cast<size_t>(cchLog) : 0, '\0');
  http.GetDebugBuffer(&log[0]);
  std::printf("service log, %d lines:\n%s", http.GetDbgLineCount(), log.c_str());

  for (unsigned int uCode : {200u, 206u, 404u, 503u, 306u}) {
    char szShort[64];
    char szLong[256];
    if (GetHttpStatusStrings(uCode, szShort, sizeof szShort, szLong, sizeof szLong)) {
      std::printf("%u  %s\n     %s\n", uCode, szShort, szLong);
    } else {
      std::printf("%u  (not a known status)\n", uCode);
    }
  }
  return 0;
}
