// The constant verb texts a client's pszVerb points at. Their addresses are
// what pszVerb holds, so they live once, here.
#include "ZemHttp.h"

extern "C" const char *const ZemHttpVerbTable[ZEMHTTP_VERB_COUNT + 1] = {
    "GET", "POST", "PUT", "HEAD", "OPTIONS", "DELETE", "TRACE", "",
};
