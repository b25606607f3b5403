#include "body_queue.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace zem::wininet {
namespace {

// Emptied slabs kept for reuse: enough for a full queue and a little more,
// whatever the number of transfers, so the stock never holds much.
constexpr size_t kStockMax = BodyQueue::kLimit / BodyQueue::kSlab + 4;

struct Stock {
  std::mutex mutex;
  std::vector<std::unique_ptr<char[]>> slabs;
};

Stock &TheStock() {
  static Stock *stock = new Stock();  // never destroyed: queues may outlive statics
  return *stock;
}

std::unique_ptr<char[]> NewSlab() {
  {
    Stock &stock = TheStock();
    std::lock_guard<std::mutex> lock(stock.mutex);
    if (!stock.slabs.empty()) {
      std::unique_ptr<char[]> slab = std::move(stock.slabs.back());
      stock.slabs.pop_back();
      return slab;
    }
  }
  return std::unique_ptr<char[]>(new char[BodyQueue::kSlab]);
}

void KeepSlab(std::unique_ptr<char[]> slab) {
  Stock &stock = TheStock();
  std::lock_guard<std::mutex> lock(stock.mutex);
  if (stock.slabs.size() < kStockMax) stock.slabs.push_back(std::move(slab));
}

bool PlainCopy(void *to, const void *from, size_t size) {
  memcpy(to, from, size);
  return true;
}

}  // namespace

void BodyQueue::Push(const char *data, size_t size) {
  while (size > 0) {
    if (slabs_.empty() || slabs_.back().end == kSlab) {
      slabs_.push_back(Slab{NewSlab(), 0});
    }
    Slab &back = slabs_.back();
    const size_t n = std::min(size, kSlab - back.end);
    memcpy(back.bytes.get() + back.end, data, n);
    back.end += n;
    data += n;
    size -= n;
    size_ += n;
  }
}

size_t BodyQueue::Take(char *out, size_t size) {
  size_t taken = 0;
  Take(out, size, &PlainCopy, &taken);
  return taken;
}

bool BodyQueue::Take(char *out, size_t size, Copier copy, size_t *taken) {
  // Copy everything first, so that a refused copy leaves the queue whole.
  size_t copied = 0, offset = offset_;
  for (auto slab = slabs_.begin(); copied < size && slab != slabs_.end(); ++slab, offset = 0) {
    const size_t n = std::min(size - copied, slab->end - offset);
    if (n > 0 && !copy(out + copied, slab->bytes.get() + offset, n)) {
      *taken = 0;
      return false;
    }
    copied += n;
  }
  for (size_t left = copied; left > 0;) {
    Slab &front = slabs_.front();
    const size_t n = std::min(left, front.end - offset_);
    left -= n;
    offset_ += n;
    // A full slab read to its end is done with; the one being filled stays.
    if (offset_ == front.end && (front.end == kSlab || slabs_.size() > 1)) {
      KeepSlab(std::move(front.bytes));
      slabs_.erase(slabs_.begin());
      offset_ = 0;
    }
  }
  size_ -= copied;
  *taken = copied;
  return true;
}

void BodyQueue::Clear() {
  for (Slab &slab : slabs_) KeepSlab(std::move(slab.bytes));
  slabs_.clear();
  offset_ = 0;
  size_ = 0;
}

}  // namespace zem::wininet
