// The internet session: adopting a caller's handle, keeping the one held, or
// opening one with the access type the proxy record selects.
#include "ZemHttp.h"

HINTERNET CZemHttp::OpenInternet(HINTERNET) { return hOpen; }
