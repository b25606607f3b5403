// The response bytes received and not yet read by the caller. The engine
// stops filling it at kLimit (the transfer pauses) so that the memory held
// for one response stays bounded whatever the body's size.
//
// The bytes lie in slabs of kSlab bytes, filled end to end. A slab emptied by
// the reader goes back to a small process-wide stock and serves the next
// piece of any transfer: memory written a moment ago costs a fraction of
// fresh pages, whose first write is a page fault each (the heap would hand
// back fresh pages, since it returns freed memory at its top to the system).
#ifndef ZEM_WININET_BODY_QUEUE_H
#define ZEM_WININET_BODY_QUEUE_H

#include <cstddef>
#include <memory>
#include <vector>

namespace zem::wininet {

class BodyQueue {
 public:
  static constexpr size_t kLimit = 1024 * 1024;
  // A paused transfer resumes once the reader has taken the queue below this.
  static constexpr size_t kResumeMark = kLimit / 2;

  // Whether a chunk of that size may be added now: always into an empty
  // queue (a chunk is at most libcurl's write size), else only below the limit.
  bool HasRoomFor(size_t size) const { return size_ == 0 || size_ + size <= kLimit; }
  void Push(const char *data, size_t size);
  // Copies up to `size` bytes out; returns how many.
  size_t Take(char *out, size_t size);
  // The same through `copy`, which may refuse (memory it cannot write): then
  // nothing is taken and the result is false.
  using Copier = bool (*)(void *to, const void *from, size_t size);
  bool Take(char *out, size_t size, Copier copy, size_t *taken);
  void Clear();
  size_t size() const { return size_; }

  BodyQueue() = default;
  BodyQueue(const BodyQueue &) = delete;
  BodyQueue &operator=(const BodyQueue &) = delete;
  ~BodyQueue() { Clear(); }

  static constexpr size_t kSlab = 64 * 1024;

 private:
  struct Slab {
    std::unique_ptr<char[]> bytes;
    size_t end = 0;  // bytes written into it
  };
  // At most kLimit / kSlab + 1 slabs, so taking the front one off a vector
  // costs little; and an empty vector, unlike a deque, allocates nothing, which
  // matters to the many responses that never fill a slab.
  std::vector<Slab> slabs_;
  size_t offset_ = 0;  // bytes of the front slab already taken
  size_t size_ = 0;
};

}  // namespace zem::wininet

#endif
