/// @file ZemMem.h
/// Checked memory blocks.
///
/// Every variable-size buffer the library owns, and every text it hands to a
/// caller to release, is a checked block: one heap allocation that carries the
/// usable size n in a 32-bit word right before the data and again right after
/// it. Releasing a block compares the two words, so a write past the end is
/// caught when the block is released.
///
/// Layout of one allocation (the data pointer is 16-byte aligned, so arrays of
/// pointers kept in blocks are naturally aligned):
///
/// @verbatim
///   start           8 bytes  unused
///   start + 8       4 bytes  ~n         (guards the size word itself)
///   start + 12      4 bytes  cbAlloc    = n (little-endian)
///   start + 16      n bytes  data       <- the pointer the owner holds
///   start + 16 + n  4 bytes  cbChecksum = n
/// @endverbatim
///
/// The complement in front lets a release notice that the size word itself was
/// overwritten (an underrun) before it uses that word to find the trailing copy:
/// a damaged size would otherwise send the check to an address outside the block.
#ifndef ZEM_ZEMMEM_H
#define ZEM_ZEMMEM_H

#include <stdlib.h>
#include <string.h>

#include "ZemSys.h"
#include "windows.h"

#define ZEMMEM_HEADER 16u   ///< bytes in front of the data: padding, ~size, size
#define ZEMMEM_TRAILER 4u   ///< bytes behind the data: the copy of the size
/// Status of ZemMemAlloc for a null variable address.
#define ZEMMEM_E_POINTER ((DWORD)0x8002000FUL)

/// Reads a 32-bit word at any alignment.
static inline DWORD ZemMemReadWord(const char *p) {
  DWORD w;
  memcpy(&w, p, sizeof w);
  return w;
}

/// Writes a 32-bit word at any alignment.
static inline void ZemMemWriteWord(char *p, DWORD w) { memcpy(p, &w, sizeof w); }

/// The usable size of a block (the word in front of the data); 0 for null.
static inline DWORD ZemMemSize(const void *pv) {
  if (pv == NULL) return 0;
  return ZemMemReadWord((const char *)pv - sizeof(DWORD));
}

/// Allocates a zero-filled block of cb usable bytes into *ppv. Returns 0, or
/// ERROR_NOT_ENOUGH_MEMORY with *ppv null. The zero fill comes from calloc, so
/// pages of a large block cost nothing until they are written.
static inline DWORD ZemMemAlloc(void **ppv, DWORD cb) {
  if (ppv == NULL) return ZEMMEM_E_POINTER;
  char *start = (char *)calloc(1, (size_t)cb + ZEMMEM_HEADER + ZEMMEM_TRAILER);
  if (start == NULL) {
    *ppv = NULL;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  char *data = start + ZEMMEM_HEADER;
  ZemMemWriteWord(data - 2 * sizeof(DWORD), (DWORD)~cb);
  ZemMemWriteWord(data - sizeof(DWORD), cb);
  ZemMemWriteWord(data + cb, cb);
  *ppv = data;
  return 0;
}

/// Releases the block *ppv and sets *ppv to null. When the two size words
/// differ the guard has failed: SysAssertFail decides whether the block is
/// freed anyway (0) or left as it is for inspection (non-zero).
static inline void ZemMemFree(void **ppv) {
  if (ppv == NULL || *ppv == NULL) return;
  char *data = (char *)*ppv;
  DWORD cbAlloc = ZemMemReadWord(data - sizeof(DWORD));
  int bIntact = ZemMemReadWord(data - 2 * sizeof(DWORD)) == (DWORD)~cbAlloc;
  /// Only a size word that agrees with its complement is trusted as an offset.
  DWORD cbChecksum = bIntact ? ZemMemReadWord(data + cbAlloc) : ~cbAlloc;
  if (cbChecksum != cbAlloc && SysAssertFail("cbChecksum == cbAlloc", "ZemMem", 136) != 0) return;
  free(data - ZEMMEM_HEADER);
  *ppv = NULL;
}

#ifdef __cplusplus
/// Typed forms, so that owners of char* or struct pointers need no casts.
template <typename T>
inline DWORD ZemMemAlloc(T **ppv, DWORD cb) {
  if (ppv == NULL) return ZEMMEM_E_POINTER;
  void *pv = NULL;
  DWORD status = ZemMemAlloc(&pv, cb);
  *ppv = static_cast<T *>(pv);
  return status;
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
