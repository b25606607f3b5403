// The window manager's shared state: classes, windows and the per-thread
// message queues, all guarded by one mutex.
//
// One lock keeps the rules simple: every record is read and written under it,
// and it is never held while a window procedure, dialog procedure or timer
// procedure runs, so those may call back into any user service. Records are
// always reached by handle value, never by a pointer kept across a call-out.
#ifndef ZEM_PLATFORM_USER_STATE_H
#define ZEM_PLATFORM_USER_STATE_H

#include "winbase.h"
#include "winuser.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace zem::user {

using Clock = std::chrono::steady_clock;
using Lock = std::unique_lock<std::mutex>;

// The dialog manager's class; its procedure is DefDlgProcA.
constexpr const char *kDialogClassName = "#32770";
// A queue holds at most this many posted messages.
constexpr size_t kPostedMessageLimit = 10000;
// Extra bytes a class may ask for per window.
constexpr int kMaxWindowExtra = 4096;

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int window_extra = 0;  // WNDCLASSA.cbWndExtra
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  bool built_in = false;
  int window_count = 0;
};

struct Window {
  std::shared_ptr<WindowClass> window_class;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  DWORD style = 0;
  DWORD ex_style = 0;
  uintptr_t parent = 0;
  std::vector<uintptr_t> children;
  LONG_PTR id = 0;
  LONG_PTR user_data = 0;
  std::string text;
  std::vector<unsigned char> extra;  // window_extra bytes (a dialog's DWLP_* slots)
  HICON icon = nullptr;              // what a static control shows
  DWORD thread = 0;
  bool destroying = false;
};

struct Timer {
  uintptr_t window = 0;
  UINT_PTR id = 0;
  TIMERPROC proc = nullptr;
  Clock::duration interval{};
  Clock::time_point due;
};

struct Queue;

// A message sent to a window of another thread, waiting to be served there.
struct SentMessage {
  uintptr_t window = 0;
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  LRESULT result = 0;
  bool done = false;
  std::shared_ptr<Queue> reply_to;  // the sender's queue, woken when done
};

struct Queue {
  explicit Queue(DWORD owner) : thread(owner) {}
  DWORD thread;
  std::condition_variable wake;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool quit_posted = false;
  int quit_code = 0;
};

class State {
 public:
  // Never destroyed: threads may still use the window manager while the
  // process exits.
  static State &Get();

  Lock Acquire() { return Lock(mutex_); }

  // Everything below requires the lock.
  Window *FindWindow(HWND handle);
  Window *FindWindow(uintptr_t handle);
  std::shared_ptr<WindowClass> FindClass(LPCSTR name);
  std::shared_ptr<WindowClass> FindClassByAtom(ATOM atom);
  // Registers a class; null when the name is taken.
  std::shared_ptr<WindowClass> AddClass(WindowClass cls);
  void RemoveClass(const std::shared_ptr<WindowClass> &cls);
  uintptr_t AddWindow(Window window);
  // Removes the record and its link from its parent.
  void RemoveWindow(uintptr_t handle);
  // The window and its descendants, each before its own children.
  std::vector<uintptr_t> Subtree(uintptr_t handle);
  // The queue of the calling thread, made on first use.
  Queue &ThisThreadQueue();
  std::shared_ptr<Queue> ThisThreadQueueShared();
  Queue *QueueOf(DWORD thread);
  UINT_PTR NewTimerId() { return next_timer_id_++; }
  // Drops the posted messages and timers of these windows from every queue.
  void PurgeWindows(const std::vector<uintptr_t> &handles);

  // Called when a thread ends: its queue goes, and so do its windows (no
  // messages are sent; the thread can no longer run their procedures).
  void ForgetThread(DWORD thread);

 private:
  State();
  std::mutex mutex_;
  std::unordered_map<uintptr_t, Window> windows_;
  std::map<std::string, std::shared_ptr<WindowClass>> classes_;  // by upper-case name
  std::unordered_map<DWORD, std::shared_ptr<Queue>> queues_;
  uintptr_t next_window_ = 0x00010010;
  ATOM next_atom_ = 0xC000;
  UINT_PTR next_timer_id_ = 0x1000;
};

inline HWND ToHwnd(uintptr_t handle) { return reinterpret_cast<HWND>(handle); }
inline uintptr_t FromHwnd(HWND handle) { return reinterpret_cast<uintptr_t>(handle); }

// Sets the last error and answers the failure value.
template <typename T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

// The calling thread's id in the kernel services' numbering.
DWORD ThisThread();

// Calls the window's procedure on the calling thread; 0 when the window is
// gone. Takes the lock itself: call it without holding the lock.
LRESULT CallProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The built-in procedures serve any thread: they touch nothing but records
// under the lock, so a text message need not wait for the owner's loop.
LRESULT CALLBACK ControlProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
bool IsBuiltInProcedure(WNDPROC proc);

// Probes of caller memory that leave the last error as it was. A text must
// be readable up to its NUL; a buffer writable over its whole size.
bool IsReadableText(LPCSTR text);
bool IsReadableBuffer(const void *buffer, size_t size);
bool IsWritableBuffer(void *buffer, size_t size);

// The dialog slots of a window's extra bytes (0 when it has none).
LONG_PTR ReadExtra(const Window &window, int offset);
bool WriteExtra(Window &window, int offset, LONG_PTR value, LONG_PTR *previous);

}  // namespace zem::user

#endif  // ZEM_PLATFORM_USER_STATE_H
