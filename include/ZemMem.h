// Checked memory blocks.
//
// Every variable-size buffer the library owns, and every text it hands to a
// caller to release, is a checked block: one heap allocation that carries the
// usable size n in a 32-bit word right before the data and again right after
// it. Releasing a block compares the two words, so a write past the end is
// caught when the block is released.
//
// Layout of one allocation (the data pointer is 16-byte aligned, so arrays of
// pointers kept in blocks are naturally aligned):
//
//   start          12 bytes  padding
//   start + 12      4 bytes  cbAlloc    = n (little-endian)
//   start + 16      n bytes  data       <- the pointer the owner holds
//   start + 16 + n  4 bytes  cbChecksum = n
#ifndef ZEM_ZEMMEM_H
#define ZEM_ZEMMEM_H

#include <stdlib.h>
#include <string.h>

#include "ZemSys.h"
#include "windows.h"

#define ZEMMEM_HEADER 16u
#define ZEMMEM_TRAILER 4u
// Status of ZemMemAlloc for a null variable address.
#define ZEMMEM_E_POINTER ((DWORD)0x8002000FUL)

static inline DWORD ZemMemSize(const void *pv) {
  DWORD cb;
  memcpy(&cb, (const char *)pv - sizeof(DWORD), sizeof cb);
  return cb;
}

// Allocates a zero-filled block of cb usable bytes into *ppv. Returns 0, or
// ERROR_NOT_ENOUGH_MEMORY with *ppv null. The zero fill comes from calloc, so
// pages of a large block cost nothing until they are written.
static inline DWORD ZemMemAlloc(void **ppv, DWORD cb) {
  if (ppv == NULL) return ZEMMEM_E_POINTER;
  char *start = (char *)calloc(1, (size_t)cb + ZEMMEM_HEADER + ZEMMEM_TRAILER);
  if (start == NULL) {
    *ppv = NULL;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  char *data = start + ZEMMEM_HEADER;
  memcpy(data - sizeof(DWORD), &cb, sizeof cb);
  memcpy(data + cb, &cb, sizeof cb);
  *ppv = data;
  return 0;
}

// Releases the block *ppv and sets *ppv to null. When the two size words
// differ the guard has failed: SysAssertFail decides whether the block is
// freed anyway (0) or left as it is for inspection (non-zero).
static inline void ZemMemFree(void **ppv) {
  if (ppv == NULL || *ppv == NULL) return;
  char *data = (char *)*ppv;
  DWORD cbAlloc = ZemMemSize(data);
  DWORD cbChecksum;
  memcpy(&cbChecksum, data + cbAlloc, sizeof cbChecksum);
  if (cbChecksum != cbAlloc && SysAssertFail("cbChecksum == cbAlloc", "ZemMem", 136) != 0) return;
  free(data - ZEMMEM_HEADER);
  *ppv = NULL;
}

#ifdef __cplusplus
// Typed forms, so that owners of char* or struct pointers need no casts.
template <typename T>
inline DWORD ZemMemAlloc(T **ppv, DWORD cb) {
  void *pv = NULL;
  DWORD status = ZemMemAlloc(&pv, cb);
  if (ppv != NULL) *ppv = static_cast<T *>(pv);
  return ppv == NULL ? ZEMMEM_E_POINTER : status;
}

template <typename T>
inline void ZemMemFree(T **ppv) {
  if (ppv == NULL) return;
  void *pv = const_cast<void *>(static_cast<const void *>(*ppv));
  ZemMemFree(&pv);
  *ppv = static_cast<T *>(pv);
}
#endif

#endif  // ZEM_ZEMMEM_H
