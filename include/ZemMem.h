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

// Large blocks (bodies, mostly) live in mappings of their own rather than in
// the heap: on the machines this runs on the first write to each fresh 4 KiB
// page costs far more than the copy into it, and a 2 MiB-aligned mapping
// advised for transparent huge pages is faulted in 2 MiB at a time. From
// ZEMMEM_MAP_THRESHOLD bytes upward a block is such a mapping, rounded up to
// ZEMMEM_MAP_ALIGN, made and released by the support library (so a program
// and the library agree on every block, whatever each was compiled with).
// Below the threshold the heap's warm, reused memory is cheaper than the
// system calls a mapping costs; that holds for bodies of about 1 MiB fetched
// one after another. The unused 8 bytes at the start of a mapped block say
// that it is one. A program turns the huge-page advice off with the
// environment variable ZEMMEM_NO_HUGEPAGES (any value but "0"); the mappings
// stay. Builds of the library with a sanitizer keep every block in the heap,
// so that leaks and overruns are seen.
#define ZEMMEM_MAP_THRESHOLD (2u << 20)  ///< blocks of this many usable bytes and more are mappings
#define ZEMMEM_MAP_ALIGN ((size_t)2 << 20)  ///< alignment and size unit of a mapped block

/// The start of a fresh zero-filled mapping for a block of cb usable bytes,
/// its first 8 bytes marking it; null when the block belongs in the heap
/// (below the threshold, a sanitizer build) or no mapping could be made.
ZEMSYSAPI char *WINAPI ZemMemMapBlock(DWORD cb);
/// The length of the mapping a block starts at, or 0 for a heap block.
ZEMSYSAPI size_t WINAPI ZemMemMappedLength(const void *start);
/// Gives a mapping back (the start and length ZemMemMappedLength gave).
ZEMSYSAPI void WINAPI ZemMemUnmapBlock(void *start, size_t length);
/// Changes the usable size of the mapped block *ppv to cbNew without copying
/// its bytes (pages past a smaller end are given back; a larger block gets the
/// old pages moved to its start, and *ppv changes). FALSE, with the block as
/// it was, where that cannot be done (a heap block, a size below the
/// threshold, no mapping left): the caller then copies.
ZEMSYSAPI BOOL WINAPI ZemMemResizeMapped(void **ppv, DWORD cbNew);

/// Allocates a zero-filled block of cb usable bytes into *ppv. Returns 0, or
/// ERROR_NOT_ENOUGH_MEMORY with *ppv null. The zero fill comes from calloc or
/// the kernel, so pages of a large block cost nothing until they are written.
static inline DWORD ZemMemAlloc(void **ppv, DWORD cb) {
  if (ppv == NULL) return ZEMMEM_E_POINTER;
  char *start = cb >= ZEMMEM_MAP_THRESHOLD ? ZemMemMapBlock(cb) : NULL;
  if (start == NULL) start = (char *)calloc(1, (size_t)cb + ZEMMEM_HEADER + ZEMMEM_TRAILER);
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
  // Only a start on an alignment unit can be a mapping.
  const size_t cbMap =
      ((size_t)(data - ZEMMEM_HEADER) & (ZEMMEM_MAP_ALIGN - 1)) == 0 ? ZemMemMappedLength(data - ZEMMEM_HEADER) : 0;
  if (cbMap != 0) {
    ZemMemUnmapBlock(data - ZEMMEM_HEADER, cbMap);
    *ppv = NULL;
    return;
  }
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
