// Per-thread message queues: posting, sending, retrieving and dispatching.
//
// Retrieval order follows the system's: messages sent from other threads are
// served first, then posted messages in the order they were posted, then a
// pending quit, then due timers. A waiting retrieval sleeps on its queue's
// condition variable until something is posted or sent, or the next timer of
// the thread falls due.
#include "message_retrieval.h"

#include <algorithm>

namespace zem::user {
namespace {

// The time stamp of the last message this thread retrieved.
thread_local DWORD t_last_message_time = 0;

enum class Outcome { kMessage, kQuit, kNothing, kBadFilter };

// Runs the messages other threads sent to this thread's windows, each on
// this thread, and wakes each sender with its result.
void ServeSent(Lock &lock, Queue &queue) {
  while (!queue.sent.empty()) {
    const std::shared_ptr<SentMessage> sent = queue.sent.front();
    queue.sent.pop_front();
    lock.unlock();
    const LRESULT result = CallProcedure(ToHwnd(sent->window), sent->message, sent->wparam, sent->lparam);
    lock.lock();
    sent->result = result;
    sent->done = true;
    sent->reply_to->wake.notify_all();
  }
}

bool BuildFilter(State &state, HWND handle, UINT first, UINT last, Filter *filter) {
  filter->first = first;
  filter->last = last;
  if (handle == nullptr) return true;
  filter->any_window = false;
  if (handle == reinterpret_cast<HWND>(-1)) {
    filter->thread_only = true;
    return true;
  }
  const Window *window = state.FindWindow(handle);
  if (window == nullptr || window->thread != ThisThread()) return false;
  filter->windows = state.Subtree(FromHwnd(handle));
  return true;
}

bool TakePosted(State &state, Queue &queue, const Filter &filter, bool remove, MSG *msg) {
  for (auto it = queue.posted.begin(); it != queue.posted.end();) {
    // A message can outlive its window when the two race across threads.
    if (it->hwnd != nullptr && state.FindWindow(it->hwnd) == nullptr) {
      it = queue.posted.erase(it);
      continue;
    }
    if (filter.Accepts(FromHwnd(it->hwnd), it->message)) {
      *msg = *it;
      if (remove) queue.posted.erase(it);
      return true;
    }
    ++it;
  }
  return false;
}

// The quit is taken whatever the filter asks for, as GetMessageA must end a
// loop that filters.
bool TakeQuit(Queue &queue, bool remove, MSG *msg) {
  if (!queue.quit_posted) return false;
  *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0, GetTickCount(), {0, 0}};
  if (remove) queue.quit_posted = false;
  return true;
}

Outcome Retrieve(LPMSG out, HWND handle, UINT first, UINT last, bool remove, bool wait) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const std::shared_ptr<Queue> queue = state.ThisThreadQueueShared();
  for (;;) {
    ServeSent(lock, *queue);
    // Built again each round: a served message may have destroyed the window.
    Filter filter;
    if (!BuildFilter(state, handle, first, last, &filter)) return Outcome::kBadFilter;
    MSG msg{};
    Clock::time_point next_due = Clock::time_point::max();
    if (TakePosted(state, *queue, filter, remove, &msg) || TakeQuit(*queue, remove, &msg) ||
        TakeDueTimer(*queue, filter, remove, &msg, &next_due)) {
      *out = msg;
      t_last_message_time = msg.time;
      return msg.message == WM_QUIT ? Outcome::kQuit : Outcome::kMessage;
    }
    if (!wait) return Outcome::kNothing;
    if (next_due == Clock::time_point::max()) {
      queue->wake.wait(lock);
    } else {
      queue->wake.wait_until(lock, next_due);
    }
  }
}

BOOL Post(Queue &queue, HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (queue.posted.size() >= kPostedMessageLimit) return Fail(ERROR_NOT_ENOUGH_QUOTA, FALSE);
  queue.posted.push_back(MSG{handle, message, wparam, lparam, GetTickCount(), {0, 0}});
  queue.wake.notify_all();
  return TRUE;
}

}  // namespace
}  // namespace zem::user

using namespace zem::user;

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd == nullptr) return PostThreadMessageA(ThisThread(), Msg, wParam, lParam);
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *window = state.FindWindow(hWnd);
  if (window == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  Queue *queue = state.QueueOf(window->thread);
  if (queue == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  return Post(*queue, hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  Queue *queue = idThread == ThisThread() ? &state.ThisThreadQueue() : state.QueueOf(idThread);
  if (queue == nullptr) return Fail(ERROR_INVALID_THREAD_ID, FALSE);
  return Post(*queue, nullptr, Msg, wParam, lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  Queue &queue = state.ThisThreadQueue();
  queue.quit_posted = true;
  queue.quit_code = nExitCode;
  queue.wake.notify_all();
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *window = state.FindWindow(hWnd);
  if (window == nullptr) return Fail<LRESULT>(ERROR_INVALID_WINDOW_HANDLE, 0);
  if (window->thread == ThisThread() || IsBuiltInProcedure(window->proc)) {
    lock.unlock();
    return CallProcedure(hWnd, Msg, wParam, lParam);
  }
  Queue *target = state.QueueOf(window->thread);
  if (target == nullptr) return Fail<LRESULT>(ERROR_INVALID_WINDOW_HANDLE, 0);
  const std::shared_ptr<Queue> self = state.ThisThreadQueueShared();
  auto sent = std::make_shared<SentMessage>();
  sent->window = FromHwnd(hWnd);
  sent->message = Msg;
  sent->wparam = wParam;
  sent->lparam = lParam;
  sent->reply_to = self;
  target->sent.push_back(sent);
  target->wake.notify_all();
  // Serving what others send to this thread meanwhile keeps two threads that
  // send to each other from blocking each other.
  while (!sent->done) {
    if (!self->sent.empty()) {
      ServeSent(lock, *self);
    } else {
      self->wake.wait(lock);
    }
  }
  return sent->result;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (!IsWritableBuffer(lpMsg, sizeof *lpMsg)) return Fail(ERROR_INVALID_PARAMETER, -1);
  switch (Retrieve(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true, true)) {
    case Outcome::kMessage: return TRUE;
    case Outcome::kQuit: return FALSE;
    default: return Fail(ERROR_INVALID_WINDOW_HANDLE, -1);
  }
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (!IsWritableBuffer(lpMsg, sizeof *lpMsg)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
  switch (Retrieve(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, remove, false)) {
    case Outcome::kMessage:
    case Outcome::kQuit: return TRUE;
    case Outcome::kNothing: return FALSE;
    default: return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  }
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg) { return lpMsg != nullptr; }

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg) {
  if (!IsReadableBuffer(lpMsg, sizeof *lpMsg)) return Fail<LRESULT>(ERROR_INVALID_PARAMETER, 0);
  const MSG msg = *lpMsg;
  State &state = State::Get();
  Lock lock = state.Acquire();
  if (msg.message == WM_TIMER && msg.lParam != 0) {
    const auto proc = reinterpret_cast<TIMERPROC>(msg.lParam);
    if (!IsLiveTimer(state.ThisThreadQueue(), FromHwnd(msg.hwnd), msg.wParam, proc)) return 0;
    lock.unlock();
    proc(msg.hwnd, WM_TIMER, msg.wParam, GetTickCount());
    return 0;
  }
  if (msg.hwnd == nullptr) return 0;  // a thread message has no procedure
  const Window *window = state.FindWindow(msg.hwnd);
  if (window == nullptr) return Fail<LRESULT>(ERROR_INVALID_WINDOW_HANDLE, 0);
  if (window->thread != ThisThread()) return Fail<LRESULT>(ERROR_WINDOW_OF_OTHER_THREAD, 0);
  lock.unlock();
  return CallProcedure(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

LONG WINAPI GetMessageTime(void) { return static_cast<LONG>(t_last_message_time); }
