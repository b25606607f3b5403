// Timers: WM_TIMER made on demand when a queue has nothing else to give.
#include "message_retrieval.h"

#include <algorithm>

namespace zem::user {

bool TakeDueTimer(Queue &queue, const Filter &filter, bool remove, MSG *msg, Clock::time_point *next_due) {
  const Clock::time_point now = Clock::now();
  Timer *due = nullptr;
  for (Timer &timer : queue.timers) {
    if (!filter.Accepts(timer.window, WM_TIMER)) continue;
    if (timer.due <= now) {
      if (due == nullptr || timer.due < due->due) due = &timer;
    } else if (timer.due < *next_due) {
      *next_due = timer.due;
    }
  }
  if (due == nullptr) return false;
  *msg = MSG{ToHwnd(due->window), WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), GetTickCount(), {0, 0}};
  // One WM_TIMER per expiry however long the loop was away: the next one is
  // an interval after this one was taken.
  if (remove) due->due = now + due->interval;
  return true;
}

bool IsLiveTimer(const Queue &queue, uintptr_t window, UINT_PTR id, TIMERPROC proc) {
  return std::any_of(queue.timers.begin(), queue.timers.end(), [&](const Timer &timer) {
    return timer.window == window && timer.id == id && timer.proc == proc;
  });
}

}  // namespace zem::user

using namespace zem::user;

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  if (hWnd != nullptr) {
    const Window *window = state.FindWindow(hWnd);
    if (window == nullptr) return Fail<UINT_PTR>(ERROR_INVALID_WINDOW_HANDLE, 0);
    // The timer's messages go to the queue of the window's thread.
    if (window->thread != ThisThread()) return Fail<UINT_PTR>(ERROR_ACCESS_DENIED, 0);
  }
  Queue &queue = state.ThisThreadQueue();
  const uintptr_t window = FromHwnd(hWnd);
  const UINT elapse = std::clamp<UINT>(uElapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  const auto interval = std::chrono::milliseconds(elapse);
  auto existing = std::find_if(queue.timers.begin(), queue.timers.end(), [&](const Timer &timer) {
    return timer.window == window && timer.id == nIDEvent;
  });
  if (existing == queue.timers.end()) {
    Timer timer;
    timer.window = window;
    // Without a window the identifier is ours to choose, unless it names one
    // of the thread's timers to replace.
    timer.id = hWnd != nullptr ? nIDEvent : state.NewTimerId();
    queue.timers.push_back(timer);
    existing = queue.timers.end() - 1;
  }
  existing->proc = lpTimerFunc;
  existing->interval = interval;
  existing->due = Clock::now() + interval;
  queue.wake.notify_all();
  if (hWnd == nullptr) return existing->id;
  return nIDEvent != 0 ? nIDEvent : 1;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  Queue *queue = &state.ThisThreadQueue();
  if (hWnd != nullptr) {
    const Window *window = state.FindWindow(hWnd);
    if (window == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    queue = state.QueueOf(window->thread);
  }
  if (queue == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto &timers = queue->timers;
  const auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer &timer) {
    return timer.window == FromHwnd(hWnd) && timer.id == uIDEvent;
  });
  if (it == timers.end()) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  timers.erase(it);
  return TRUE;
}
