// Large checked blocks: mappings of their own, 2 MiB-aligned and advised for
// transparent huge pages. Callers reach them only through the functions
// declared in ZemMem.h, so that a program and the library always agree on
// which blocks are mappings, whatever either was compiled with.
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ZemMem.h"

namespace {

constexpr size_t kAlign = ZEMMEM_MAP_ALIGN;

// A sanitizer sees leaks and overruns only in heap blocks: such builds of
// the platform make no mappings (releases of mappings still work).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kHeapOnly = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kHeapOnly = true;
#else
constexpr bool kHeapOnly = false;
#endif
#else
constexpr bool kHeapOnly = false;
#endif

size_t MapLength(DWORD cb) { return (static_cast<size_t>(cb) + ZEMMEM_HEADER + ZEMMEM_TRAILER + kAlign - 1) & ~(kAlign - 1); }

// Decided once per program; two first callers racing decide it alike.
bool WantsHugePages() {
#ifdef ZEMMEM_NO_HUGEPAGES
  return false;
#else
  static std::atomic<int> wanted{-1};
  int n = wanted.load(std::memory_order_relaxed);
  if (n < 0) {
    const char *text = std::getenv("ZEMMEM_NO_HUGEPAGES");
    n = text == nullptr || std::strcmp(text, "0") == 0;
    wanted.store(n, std::memory_order_relaxed);
  }
  return n != 0;
#endif
}

// The first 8 bytes of a mapping say so: its length, mixed with its address
// so that no heap block (whose first bytes calloc left zero) reads as one.
void Tag(char *start, DWORD cb) {
  const size_t tag = ~(MapLength(cb) ^ reinterpret_cast<size_t>(start));
  std::memcpy(start, &tag, sizeof tag);
}

// The block's size words, for a mapped block whose data now holds cb bytes.
void Relabel(char *data, DWORD cb) {
  ZemMemWriteWord(data - 2 * sizeof(DWORD), static_cast<DWORD>(~cb));
  ZemMemWriteWord(data - sizeof(DWORD), cb);
  ZemMemWriteWord(data + cb, cb);
  Tag(data - ZEMMEM_HEADER, cb);
}

}  // namespace

char *WINAPI ZemMemMapBlock(DWORD cb) {
  if (kHeapOnly || cb < ZEMMEM_MAP_THRESHOLD) return nullptr;
  const size_t length = MapLength(cb);
  // Reserved one alignment unit larger, then trimmed at both ends.
  char *raw = static_cast<char *>(mmap(nullptr, length + kAlign, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  if (raw == MAP_FAILED) return nullptr;
  char *start = reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(raw) + kAlign - 1) & ~(kAlign - 1));
  if (start != raw) munmap(raw, static_cast<size_t>(start - raw));
  char *end = raw + length + kAlign;
  if (start + length != end) munmap(start + length, static_cast<size_t>(end - (start + length)));
#ifdef MADV_HUGEPAGE
  // Advised before anything is written: a unit touched first keeps ordinary
  // pages for good. A last unit less than half used is not advised (a huge
  // page there would hold mostly nothing). Refused advice changes nothing.
  if (WantsHugePages()) {
    const size_t used = static_cast<size_t>(cb) + ZEMMEM_HEADER + ZEMMEM_TRAILER;
    const size_t rest = used & (kAlign - 1);
    const size_t advised = used - rest + (rest > kAlign / 2 ? kAlign : 0);
    if (advised != 0) madvise(start, advised, MADV_HUGEPAGE);
  }
#endif
  Tag(start, cb);
  return start;
}

size_t WINAPI ZemMemMappedLength(const void *start) {
  if ((reinterpret_cast<uintptr_t>(start) & (kAlign - 1)) != 0) return 0;
  size_t tag;
  std::memcpy(&tag, start, sizeof tag);
  const size_t length = ~tag ^ reinterpret_cast<size_t>(start);
  const bool plausible = length != 0 && (length & (kAlign - 1)) == 0 && length <= MapLength(0xFFFFFFFFu);
  return plausible ? length : 0;
}

void WINAPI ZemMemUnmapBlock(void *start, size_t length) { munmap(start, length); }

BOOL WINAPI ZemMemResizeMapped(void **ppv, DWORD cbNew) {
  if (ppv == nullptr || *ppv == nullptr) return FALSE;
  char *data = static_cast<char *>(*ppv);
  const DWORD old_size = ZemMemSize(data);
  const size_t old_length = ZemMemMappedLength(data - ZEMMEM_HEADER);
  if (old_length == 0 || old_length != MapLength(old_size) || cbNew < ZEMMEM_MAP_THRESHOLD || kHeapOnly) return FALSE;
  const size_t new_length = MapLength(cbNew);
  if (cbNew < old_size) {
    // Only the size words move, and whole units past the new length go back.
    if (new_length < old_length) munmap(data - ZEMMEM_HEADER + new_length, old_length - new_length);
    Relabel(data, cbNew);
    return TRUE;
  }
  // A larger block gets the old pages moved to its start: the kernel moves
  // page tables, not bytes.
  char *fresh = ZemMemMapBlock(cbNew);
  if (fresh == nullptr) return FALSE;
  void *moved = mremap(data - ZEMMEM_HEADER, old_length, old_length, MREMAP_MAYMOVE | MREMAP_FIXED, fresh);
  if (moved != fresh) {
    munmap(fresh, new_length);
    return FALSE;
  }
  // The old trailing size word becomes body space again: zero, as a new
  // block's bytes are.
  std::memset(fresh + ZEMMEM_HEADER + old_size, 0, sizeof(DWORD));
  Relabel(fresh + ZEMMEM_HEADER, cbNew);
  *ppv = fresh + ZEMMEM_HEADER;
  return TRUE;
}
