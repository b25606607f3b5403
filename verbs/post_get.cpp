// The request body, the query, and the POST and GET verbs.
#include "ZemHttp.h"

int CZemHttp::SetPostData(const void *, unsigned int) { return 0; }
int CZemHttp::SetQueryData(const char *) { return 0; }
int CZemHttp::Post(const char *, const void *, unsigned int) { return 0; }
int CZemHttp::PostText(const char *, const char *) { return 0; }
int CZemHttp::Get(const char *, const char *) { return 0; }
