// The request driver and the dispatch of notifications to the caller's two
// procedures.
#include "ZemHttp.h"

int CZemHttp::InternetRun() { return 0; }

void CZemHttp::Notify(int, int, INT_PTR) {}
