#include "body_queue.h"

#include <algorithm>
#include <cstring>

namespace zem::wininet {

void BodyQueue::Push(const char *data, size_t size) {
  if (size == 0) return;
  chunks_.emplace_back(data, size);
  size_ += size;
}

size_t BodyQueue::Take(char *out, size_t size) {
  size_t taken = 0;
  while (taken < size && !chunks_.empty()) {
    const std::string &front = chunks_.front();
    const size_t n = std::min(size - taken, front.size() - offset_);
    memcpy(out + taken, front.data() + offset_, n);
    taken += n;
    offset_ += n;
    if (offset_ == front.size()) {
      chunks_.pop_front();
      offset_ = 0;
    }
  }
  size_ -= taken;
  return taken;
}

void BodyQueue::Clear() {
  chunks_.clear();
  offset_ = 0;
  size_ = 0;
}

}  // namespace zem::wininet
