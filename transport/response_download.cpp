// Reading the answer: status code, headers, the body download, and the
// accessors the caller reads the results with.
#include "ZemHttp.h"

DWORD CZemHttp::GetHttpStatusCode() { return 0; }

DWORD CZemHttp::QueryHttpStatusCode() { return dwStatusCode; }

DWORD CZemHttp::GetHttpResponseHeaders(void **, DWORD) { return 0; }

int CZemHttp::DataDump() { return 0; }

unsigned int CZemHttp::GetRawData(char *) { return 0; }
