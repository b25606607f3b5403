// What a GetMessageA or PeekMessageA call asks for, and the timers that feed
// it when nothing is posted.
#ifndef ZEM_PLATFORM_USER_MESSAGE_RETRIEVAL_H
#define ZEM_PLATFORM_USER_MESSAGE_RETRIEVAL_H

#include "user_state.h"

#include <algorithm>
#include <vector>

namespace zem::user {

struct Filter {
  bool any_window = true;    // window filter NULL: every window and the thread's own messages
  bool thread_only = false;  // window filter -1: only messages without a window
  std::vector<uintptr_t> windows;  // otherwise: the window and its descendants
  UINT first = 0;
  UINT last = 0;  // 0 and 0: every message

  bool Accepts(uintptr_t window, UINT message) const {
    if ((first != 0 || last != 0) && (message < first || message > last)) return false;
    if (thread_only) return window == 0;
    return any_window || std::find(windows.begin(), windows.end(), window) != windows.end();
  }
};

// Both require the lock and work on the calling thread's queue.
//
// A due timer accepted by the filter becomes a WM_TIMER in *msg, and is set
// again one interval from now when remove is true. Otherwise *next_due is
// lowered to the earliest accepted timer's due time.
bool TakeDueTimer(Queue &queue, const Filter &filter, bool remove, MSG *msg, Clock::time_point *next_due);
// Whether the timer still exists with that procedure, so that a forged
// WM_TIMER can never make DispatchMessageA jump to an arbitrary address.
bool IsLiveTimer(const Queue &queue, uintptr_t window, UINT_PTR id, TIMERPROC proc);

}  // namespace zem::user

#endif  // ZEM_PLATFORM_USER_MESSAGE_RETRIEVAL_H
