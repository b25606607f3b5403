// PUT and DELETE of a named file below the URL path.
#include "ZemHttp.h"

int CZemHttp::FilePut(const char *, const char *, const void *, unsigned int) { return 0; }
int CZemHttp::FileDelete(const char *, const char *) { return 0; }
