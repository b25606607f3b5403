// Sending one request: the request handle, the header list, Content-Length
// and the body.
#include "ZemHttp.h"

int CZemHttp::SendRequest(const char *) { return 0; }
