// OPTIONS, HEAD and TRACE: requests that ask about a resource and copy a
// piece of the answer to the caller.
#include "ZemHttp.h"

int CZemHttp::GetOptions(const char *, char *, unsigned int) { return 0; }
int CZemHttp::GetHead(const char *, char *, unsigned int) { return 0; }
int CZemHttp::Trace(const char *, char *, unsigned int) { return 0; }
