#include "user_state.h"

#include "winbase.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace zem::user {
namespace {

std::string ClassKey(const std::string &name) {
  std::string key(name);
  for (char &c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

// Drops the thread's queue and windows when the thread ends, so that a
// worker that made a window and left does not leave records behind.
struct ThreadQueueHolder {
  std::shared_ptr<Queue> queue;
  ~ThreadQueueHolder() {
    if (queue) State::Get().ForgetThread(queue->thread);
  }
};
thread_local ThreadQueueHolder t_queue;

}  // namespace

DWORD ThisThread() {
  thread_local const DWORD id = GetCurrentThreadId();
  return id;
}

State &State::Get() {
  static State *state = new State();
  return *state;
}

State::State() {
  for (const char *name : {"BUTTON", "STATIC", "EDIT"}) {
    WindowClass cls;
    cls.name = name;
    cls.proc = ControlProc;
    cls.built_in = true;
    AddClass(cls);
  }
  WindowClass dialog;
  dialog.name = kDialogClassName;
  dialog.proc = DefDlgProcA;
  dialog.window_extra = DLGWINDOWEXTRA;
  dialog.built_in = true;
  AddClass(dialog);
}

Window *State::FindWindow(uintptr_t handle) {
  if (handle == 0) return nullptr;
  const auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : &it->second;
}

Window *State::FindWindow(HWND handle) { return FindWindow(FromHwnd(handle)); }

std::shared_ptr<WindowClass> State::FindClass(LPCSTR name) {
  if (IS_INTRESOURCE(name)) return FindClassByAtom(LOWORD(name));
  const auto it = classes_.find(ClassKey(name));
  return it == classes_.end() ? nullptr : it->second;
}

std::shared_ptr<WindowClass> State::FindClassByAtom(ATOM atom) {
  if (atom == 0) return nullptr;
  for (const auto &entry : classes_) {
    if (entry.second->atom == atom) return entry.second;
  }
  return nullptr;
}

std::shared_ptr<WindowClass> State::AddClass(WindowClass cls) {
  const std::string key = ClassKey(cls.name);
  if (classes_.count(key) != 0) return nullptr;
  cls.atom = next_atom_++;
  if (next_atom_ == 0) next_atom_ = 0xC000;  // atoms stay in the string-atom range
  auto stored = std::make_shared<WindowClass>(std::move(cls));
  classes_.emplace(key, stored);
  return stored;
}

void State::RemoveClass(const std::shared_ptr<WindowClass> &cls) { classes_.erase(ClassKey(cls->name)); }

uintptr_t State::AddWindow(Window window) {
  uintptr_t handle;
  do {
    handle = next_window_;
    next_window_ += 2;
    if (next_window_ >= 0x7FFFFFF0) next_window_ = 0x00010010;
  } while (windows_.count(handle) != 0);
  if (Window *parent = FindWindow(window.parent)) parent->children.push_back(handle);
  ++window.window_class->window_count;
  windows_.emplace(handle, std::move(window));
  return handle;
}

void State::RemoveWindow(uintptr_t handle) {
  const auto it = windows_.find(handle);
  if (it == windows_.end()) return;
  if (Window *parent = FindWindow(it->second.parent)) {
    auto &siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
  }
  for (uintptr_t child : it->second.children) {
    if (Window *orphan = FindWindow(child)) orphan->parent = 0;
  }
  --it->second.window_class->window_count;
  windows_.erase(it);
}

std::vector<uintptr_t> State::Subtree(uintptr_t handle) {
  std::vector<uintptr_t> order;
  if (FindWindow(handle) == nullptr) return order;
  order.push_back(handle);
  for (size_t next = 0; next < order.size(); ++next) {
    // Depth first, so that each window comes right before its own children.
    const auto &children = FindWindow(order[next])->children;
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(next) + 1, children.begin(), children.end());
  }
  return order;
}

Queue &State::ThisThreadQueue() { return *ThisThreadQueueShared(); }

std::shared_ptr<Queue> State::ThisThreadQueueShared() {
  if (!t_queue.queue) {
    t_queue.queue = std::make_shared<Queue>(ThisThread());
    queues_[t_queue.queue->thread] = t_queue.queue;
  }
  return t_queue.queue;
}

Queue *State::QueueOf(DWORD thread) {
  const auto it = queues_.find(thread);
  return it == queues_.end() ? nullptr : it->second.get();
}

void State::PurgeWindows(const std::vector<uintptr_t> &handles) {
  const auto listed = [&handles](uintptr_t handle) {
    return std::find(handles.begin(), handles.end(), handle) != handles.end();
  };
  for (auto &entry : queues_) {
    auto &posted = entry.second->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [&](const MSG &msg) { return listed(FromHwnd(msg.hwnd)); }),
                 posted.end());
    auto &timers = entry.second->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer &t) { return listed(t.window); }),
                 timers.end());
  }
}

void State::ForgetThread(DWORD thread) {
  Lock lock = Acquire();
  const auto it = queues_.find(thread);
  if (it != queues_.end()) {
    // Senders waiting on this thread get 0, as for a window that went away.
    for (const auto &sent : it->second->sent) {
      sent->done = true;
      sent->reply_to->wake.notify_all();
    }
    queues_.erase(it);
  }
  std::vector<uintptr_t> owned;
  for (const auto &entry : windows_) {
    if (entry.second.thread == thread) owned.push_back(entry.first);
  }
  for (uintptr_t handle : owned) {
    for (uintptr_t member : Subtree(handle)) RemoveWindow(member);
  }
}

LRESULT CallProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC proc;
  {
    State &state = State::Get();
    Lock lock = state.Acquire();
    const Window *window = state.FindWindow(handle);
    if (window == nullptr) return 0;
    proc = window->proc;
  }
  return proc == nullptr ? 0 : proc(handle, message, wparam, lparam);
}

bool IsBuiltInProcedure(WNDPROC proc) { return proc == ControlProc || proc == DefWindowProcA; }

bool IsReadableText(LPCSTR text) {
  if (IS_INTRESOURCE(text)) return false;
  const DWORD saved = GetLastError();
  const bool bad = IsBadStringPtrA(text, ~static_cast<UINT_PTR>(0));
  SetLastError(saved);
  return !bad;
}

bool IsReadableBuffer(const void *buffer, size_t size) {
  if (IS_INTRESOURCE(buffer)) return false;
  const DWORD saved = GetLastError();
  const bool bad = IsBadReadPtr(buffer, size);
  SetLastError(saved);
  return !bad;
}

bool IsWritableBuffer(void *buffer, size_t size) {
  if (IS_INTRESOURCE(buffer)) return false;
  const DWORD saved = GetLastError();
  const bool bad = IsBadWritePtr(buffer, size);
  SetLastError(saved);
  return !bad;
}

LONG_PTR ReadExtra(const Window &window, int offset) {
  LONG_PTR value = 0;
  if (offset >= 0 && static_cast<size_t>(offset) + sizeof value <= window.extra.size()) {
    std::memcpy(&value, window.extra.data() + offset, sizeof value);
  }
  return value;
}

bool WriteExtra(Window &window, int offset, LONG_PTR value, LONG_PTR *previous) {
  if (offset < 0 || static_cast<size_t>(offset) + sizeof value > window.extra.size()) return false;
  *previous = ReadExtra(window, offset);
  std::memcpy(window.extra.data() + offset, &value, sizeof value);
  return true;
}

}  // namespace zem::user
