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
//   start           8 bytes  unused
//   start + 8       4 bytes  ~n         (guards the size word itself)
//   start + 12      4 bytes  cbAlloc    = n (little-endian)
//   start + 16      n bytes  data       <- the pointer the owner holds
//   start + 16 + n  4 bytes  cbChecksum = n
//
// The complement in front lets a release notice that the size word itself was
// overwritten (an underrun) before it uses that word to find the trailing copy:
// a damaged size would otherwise send the check to an address outside the block.
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

static inline DWORD ZemMemReadWord(const char *p) {
  DWORD w;
  memcpy(&w, p, sizeof w);
  return w;
}

static inline void ZemMemWriteWord(char *p, DWORD w) { memcpy(p, &w, sizeof w); }

// The usable size of a block (the word in front of the data); 0 for null.
static inline DWORD ZemMemSize(const void *pv) {
  if (pv == NULL) return 0;
  return ZemMemReadWord((const char *)pv - sizeof(DWORD));
}

// Large blocks (bodies, mostly) live in mappings of their own rather than in
// the heap: on the machines this runs on the first write to each fresh 4 KiB
// page costs far more than the copy into it, and a 2 MiB-aligned mapping
// advised for transparent huge pages is faulted in 2 MiB at a time. From
// ZEMMEM_MAP_THRESHOLD bytes upward a block is such a mapping, rounded up to
// ZEMMEM_MAP_ALIGN. Below the threshold the heap's warm, reused memory is
// cheaper than the system calls a mapping costs and the zeroing of a whole
// huge page; that holds for bodies of about 1 MiB fetched one after another.
// A last unit the block fills less than half of is not advised: a huge page
// there would hold mostly nothing. The unused 8 bytes at the start of a mapped
// block record its length (complemented, mixed with its address), so that a
// release tells a mapping from a heap block even when the size word is damaged. A program turns the huge-page advice off with
// the environment variable ZEMMEM_NO_HUGEPAGES (any value but "0"), or at
// build time with -DZEMMEM_NO_HUGEPAGES; the mappings stay. Builds with a
// sanitizer keep every block in the heap, so that leaks and overruns are seen.
#define ZEMMEM_MAP_THRESHOLD (2u << 20)
#define ZEMMEM_MAP_ALIGN ((size_t)2 << 20)

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZEMMEM_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define ZEMMEM_HEAP_ONLY 1
#endif
#endif

#ifdef ZEMMEM_HEAP_ONLY
static inline int ZemMemIsMapped(DWORD cb) {
  (void)cb;
  return 0;
}
#else
#include <sys/mman.h>

static inline int ZemMemIsMapped(DWORD cb) { return cb >= ZEMMEM_MAP_THRESHOLD; }

static inline size_t ZemMemMapLength(DWORD cb) {
  return ((size_t)cb + ZEMMEM_HEADER + ZEMMEM_TRAILER + ZEMMEM_MAP_ALIGN - 1) & ~(ZEMMEM_MAP_ALIGN - 1);
}

// Whether huge pages are asked for: decided once per program (a race between
// two first callers only decides it twice, alike).
static inline int ZemMemWantsHugePages(void) {
#ifdef ZEMMEM_NO_HUGEPAGES
  return 0;
#else
  static int nWanted = -1;
  int n = __atomic_load_n(&nWanted, __ATOMIC_RELAXED);
  if (n < 0) {
    const char *psz = getenv("ZEMMEM_NO_HUGEPAGES");
    n = psz == NULL || strcmp(psz, "0") == 0;
    __atomic_store_n(&nWanted, n, __ATOMIC_RELAXED);
  }
  return n;
#endif
}

// A fresh anonymous mapping of ZemMemMapLength(cb) bytes starting on a
// ZEMMEM_MAP_ALIGN boundary (reserved one alignment unit larger, then
// trimmed at both ends); zero-filled by the kernel. Null when none is left.
static inline char *ZemMemMapBlock(DWORD cb) {
  const size_t cbMap = ZemMemMapLength(cb);
  char *pRaw = (char *)mmap(NULL, cbMap + ZEMMEM_MAP_ALIGN, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pRaw == (char *)MAP_FAILED) return NULL;
  char *pStart = (char *)(((size_t)pRaw + ZEMMEM_MAP_ALIGN - 1) & ~(ZEMMEM_MAP_ALIGN - 1));
  if (pStart != pRaw) munmap(pRaw, (size_t)(pStart - pRaw));
  if (pStart + cbMap != pRaw + cbMap + ZEMMEM_MAP_ALIGN) {
    munmap(pStart + cbMap, (size_t)(pRaw + cbMap + ZEMMEM_MAP_ALIGN - (pStart + cbMap)));
  }
#ifdef MADV_HUGEPAGE
  // Advised before anything is written: a unit touched first gets ordinary
  // pages for good. Refused advice (no transparent huge pages) leaves them all.
  if (ZemMemWantsHugePages()) {
    const size_t cbUsed = (size_t)cb + ZEMMEM_HEADER + ZEMMEM_TRAILER;
    const size_t cbRest = cbUsed & (ZEMMEM_MAP_ALIGN - 1);
    const size_t cbAdvised = cbUsed - cbRest + (cbRest > ZEMMEM_MAP_ALIGN / 2 ? ZEMMEM_MAP_ALIGN : 0);
    if (cbAdvised != 0) madvise(pStart, cbAdvised, MADV_HUGEPAGE);
  }
#endif
  const size_t tag = ~(cbMap ^ (size_t)pStart);
  memcpy(pStart, &tag, sizeof tag);
  return pStart;
}

// The length of the mapping a block starts at, or 0 for a heap block (whose
// first 8 bytes calloc left zero, and which is never a whole alignment unit).
static inline size_t ZemMemMappedLength(const char *start) {
  if (((size_t)start & (ZEMMEM_MAP_ALIGN - 1)) != 0) return 0;
  size_t tag;
  memcpy(&tag, start, sizeof tag);
  const size_t cbMap = ~tag ^ (size_t)start;
  const int bPlausible = cbMap != 0 && (cbMap & (ZEMMEM_MAP_ALIGN - 1)) == 0 &&
                         cbMap <= ZemMemMapLength(0xFFFFFFFFu);
  return bPlausible ? cbMap : 0;
}
#endif

// Allocates a zero-filled block of cb usable bytes into *ppv. Returns 0, or
// ERROR_NOT_ENOUGH_MEMORY with *ppv null. The zero fill comes from calloc or
// the kernel, so pages of a large block cost nothing until they are written.
static inline DWORD ZemMemAlloc(void **ppv, DWORD cb) {
  if (ppv == NULL) return ZEMMEM_E_POINTER;
  char *start;
#ifdef ZEMMEM_HEAP_ONLY
  start = (char *)calloc(1, (size_t)cb + ZEMMEM_HEADER + ZEMMEM_TRAILER);
#else
  start = ZemMemIsMapped(cb) ? ZemMemMapBlock(cb)
                             : (char *)calloc(1, (size_t)cb + ZEMMEM_HEADER + ZEMMEM_TRAILER);
#endif
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

// Releases the block *ppv and sets *ppv to null. When the two size words
// differ the guard has failed: SysAssertFail decides whether the block is
// freed anyway (0) or left as it is for inspection (non-zero).
static inline void ZemMemFree(void **ppv) {
  if (ppv == NULL || *ppv == NULL) return;
  char *data = (char *)*ppv;
  DWORD cbAlloc = ZemMemReadWord(data - sizeof(DWORD));
  int bIntact = ZemMemReadWord(data - 2 * sizeof(DWORD)) == (DWORD)~cbAlloc;
  // Only a size word that agrees with its complement is trusted as an offset.
  DWORD cbChecksum = bIntact ? ZemMemReadWord(data + cbAlloc) : ~cbAlloc;
  if (cbChecksum != cbAlloc && SysAssertFail("cbChecksum == cbAlloc", "ZemMem", 136) != 0) return;
#ifndef ZEMMEM_HEAP_ONLY
  const size_t cbMap = ZemMemMappedLength(data - ZEMMEM_HEADER);
  if (cbMap != 0) {
    munmap(data - ZEMMEM_HEADER, cbMap);
    *ppv = NULL;
    return;
  }
#endif
  free(data - ZEMMEM_HEADER);
  *ppv = NULL;
}

#ifdef __cplusplus
// Typed forms, so that owners of char* or struct pointers need no casts.
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
