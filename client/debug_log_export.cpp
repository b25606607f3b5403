// The debug log export: the connection identification and the appended
// "HttpLog.TXT" report with its printable data dumps.
#include "ZemHttp.h"

int CZemHttp::SetConnectionID(unsigned int uDoc, unsigned int uCompany, unsigned int uConn, const char *) {
  uDocument = uDoc;
  uCompanyID = uCompany;
  uConnection = uConn;
  return 1;
}

int CZemHttp::GetDebugLog(const char *, DWORD) { return 0; }

int CZemHttp::FormatLogData(int, const char *, int, int) { return 0; }
