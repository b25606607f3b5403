#include "body_queue.h"

#include <algorithm>
#include <cstring>

namespace zem::wininet {

void BodyQueue::Push(const char *data, size_t size) {
  if (size == 0) return;
  chunks_.emplace_back(data, size);
  size_ += size;
}

namespace {
bool PlainCopy(void *to, const void *from, size_t size) {
  memcpy(to, from, size);
  return true;
}
}  // namespace

size_t BodyQueue::Take(char *out, size_t size) {
  size_t taken = 0;
  Take(out, size, &PlainCopy, &taken);
  return taken;
}

bool BodyQueue::Take(char *out, size_t size, Copier copy, size_t *taken) {
  // Copy everything first, so that a refused copy leaves the queue whole.
  size_t copied = 0, offset = offset_;
  for (auto chunk = chunks_.begin(); copied < size && chunk != chunks_.end(); ++chunk, offset = 0) {
    const size_t n = std::min(size - copied, chunk->size() - offset);
    if (!copy(out + copied, chunk->data() + offset, n)) {
      *taken = 0;
      return false;
    }
    copied += n;
  }
  for (size_t left = copied; left > 0;) {
    const size_t n = std::min(left, chunks_.front().size() - offset_);
    left -= n;
    offset_ += n;
    if (offset_ == chunks_.front().size()) {
      chunks_.pop_front();
      offset_ = 0;
    }
  }
  size_ -= copied;
  *taken = copied;
  return true;
}

void BodyQueue::Clear() {
  chunks_.clear();
  offset_ = 0;
  size_ = 0;
}

}  // namespace zem::wininet
