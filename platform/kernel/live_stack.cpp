#include "live_stack.h"

#include <pthread.h>

namespace zem::platform {
namespace {

struct StackBounds {
  std::uintptr_t low = 0, top = 0;
};

// The thread's stack as the threads library knows it, asked once per thread.
const StackBounds &ThreadStack() {
  thread_local StackBounds bounds;
  thread_local bool asked = false;
  if (!asked) {
    asked = true;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      void *low = nullptr;
      std::size_t length = 0;
      if (pthread_attr_getstack(&attributes, &low, &length) == 0) {
        bounds.low = reinterpret_cast<std::uintptr_t>(low);
        bounds.top = bounds.low + length;
      }
      pthread_attr_destroy(&attributes);
    }
  }
  return bounds;
}

}  // namespace

bool OnLiveStack(std::uintptr_t start, std::size_t size) {
  const StackBounds &stack = ThreadStack();
  const char here = 0;
  const auto frame = reinterpret_cast<std::uintptr_t>(&here);
  // A frame outside the thread's own stack (a stack the program made, or
  // one a sanitizer keeps elsewhere) says nothing about what is mapped.
  if (frame < stack.low || frame >= stack.top) return false;
  return start >= frame && start + size >= start && start + size <= stack.top;
}

}  // namespace zem::platform
