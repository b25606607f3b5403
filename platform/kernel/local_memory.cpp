// Local memory blocks. Every block handed out is remembered, so that freeing
// a pointer twice, or one that came from elsewhere, is refused rather than
// corrupting the heap.
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "windows.h"

namespace {

struct LocalBlocks {
  std::mutex mutex;
  std::unordered_set<void *> blocks;
};

LocalBlocks &Blocks() {
  static LocalBlocks *blocks = new LocalBlocks;  // outlives static destructors
  return *blocks;
}

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  if ((uFlags & ~static_cast<UINT>(LMEM_ZEROINIT)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);  // movable blocks are not provided
    return nullptr;
  }
  // A zero-byte request still yields a distinct block that can be freed.
  const std::size_t size = uBytes == 0 ? 1 : uBytes;
  void *block = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  LocalBlocks &all = Blocks();
  std::lock_guard<std::mutex> lock(all.mutex);
  all.blocks.insert(block);
  return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  if (hMem == nullptr) return nullptr;
  LocalBlocks &all = Blocks();
  {
    std::lock_guard<std::mutex> lock(all.mutex);
    if (all.blocks.erase(hMem) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return hMem;
    }
  }
  std::free(hMem);
  return nullptr;
}
