// The one way the platform binds what a loaded module exports (a function,
// a table) and asks whether it is there: through GetProcAddress, so that a
// module offers only its own exports, as it does to any program.
#ifndef ZEM_PLATFORM_KERNEL_BOUND_EXPORT_H
#define ZEM_PLATFORM_KERNEL_BOUND_EXPORT_H

#include <cstdint>
#include <type_traits>

#include "windows.h"

namespace zem::platform {

// The export `name` of `module` as a `Pointer` (to a function or to data),
// or null when the module or the export is missing. Asking is no failure of
// the asking call: the thread's last error is left as it was, and `why`
// (when given) receives the reason of a null answer (ERROR_INVALID_HANDLE:
// not a module; ERROR_PROC_NOT_FOUND: no such export).
template <typename Pointer>
Pointer BoundExport(HMODULE module, const char *name, DWORD *why = nullptr) {
  static_assert(std::is_pointer_v<Pointer>, "an export is bound as a pointer");
  const DWORD saved = GetLastError();
  const FARPROC found = GetProcAddress(module, name);
  if (why != nullptr) *why = found != nullptr ? 0 : GetLastError();
  SetLastError(saved);
  return reinterpret_cast<Pointer>(reinterpret_cast<std::uintptr_t>(found));
}

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_BOUND_EXPORT_H
