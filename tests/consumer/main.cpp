// Builds against the installed headers and library only.
#include <ZemHttp.h>
#include <ZemMem.h>
#include <ZemUpload.h>

#include <cstdio>
#include <cstring>

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
  // An upload task made and released through the plain functions, its
  // record read through the exported layout.
  char data[] = "q=1";
  void *pvData = data, *pvAnswer = nullptr;
  if (ScraAddNewDoc(&pvData, &pvAnswer, sizeof data - 1, 0, 1, 0) != 1) {
    std::fprintf(stderr, "consumer: ScraAddNewDoc refused task 1\n");
    return 1;
  }
  const REQUEST_CONTEXT *ctx = ScQueryRqCtxPtr(1);
  if (ctx == nullptr || std::strcmp(ctx->szUserAgent, "ZEM Data Services") != 0 || ctx->nPort != 443 ||
      ScraCloseTask(1) != 1) {
    std::fprintf(stderr, "consumer: task 1 does not hold its defaults or was not released\n");
    return 1;
  }
  char szError[256];
  http.GetErrorString(szError, sizeof szError - 1);
  std::printf("consumer: 404 = %s; last error %u: %s; %d log lines\n", szShort, (unsigned)http.GetLastOSError(),
              szError, http.GetDbgLineCount());
  return http.GetLastOSError() == 87 ? 0 : 1;
}
