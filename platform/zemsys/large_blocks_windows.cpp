// Large checked blocks on Windows stay in the heap: the process heap takes
// blocks of this size straight from the system's virtual memory, whose fresh
// pages are zero and cost nothing until written, and a resize is a copy.
// A heap block's first bytes are zero, so no block ever reads as a mapping.
#include "ZemMem.h"

char *WINAPI ZemMemMapBlock(DWORD /*cb*/) { return nullptr; }

size_t WINAPI ZemMemMappedLength(const void * /*start*/) { return 0; }

void WINAPI ZemMemUnmapBlock(void * /*start*/, size_t /*length*/) {}

BOOL WINAPI ZemMemResizeMapped(void ** /*ppv*/, DWORD /*cbNew*/) { return FALSE; }
