// The calling thread's live stack: everything from the current frame up to
// the top of the thread's stack is mapped, readable and writable while the
// thread runs, so caller memory there needs no question to the kernel. Out
// parameters mostly live there.
#ifndef ZEM_PLATFORM_KERNEL_LIVE_STACK_H
#define ZEM_PLATFORM_KERNEL_LIVE_STACK_H

#include <cstddef>
#include <cstdint>

namespace zem::platform {

// Whether [start, start + size) lies between the caller's frame and the top
// of the calling thread's stack. False whenever that cannot be told (a
// thread running on a stack of its own making, for one).
bool OnLiveStack(std::uintptr_t start, std::size_t size);

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_LIVE_STACK_H
