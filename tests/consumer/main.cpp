// Builds against the installed headers and library only.
#include <ZemHttp.h>
#include <ZemMem.h>
#include <ZemUpload.h>

#include <cstdio>

int main() {
  SetLastError(0);  // the platform library is linked as well
  CZemHttp http;
  // The internet library is found by name beside the installed platform.
  if (!http.CheckSystemAvailable()) {
    std::fprintf(stderr, "consumer: WININET.DLL was not loaded\n");
    return 1;
  }
  http.EnableLogging(50, 10, 10);
  http.SetError(0, "consumer: no error %d", 87);

  char szShort[64], szLong[256];
  if (!GetHttpStatusStrings(404, szShort, sizeof szShort, szLong, sizeof szLong)) {
    std::fprintf(stderr, "consumer: status 404 not found in the table\n");
    return 1;
  }
  char szError[256];
  http.GetErrorString(szError, sizeof szError - 1);
  std::printf("consumer: 404 = %s; last error %u: %s; %d log lines\n", szShort, (unsigned)http.GetLastOSError(),
              szError, http.GetDbgLineCount());
  return http.GetLastOSError() == 87 ? 0 : 1;
}
