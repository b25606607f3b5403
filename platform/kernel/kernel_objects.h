// Waitable kernel objects and the table that gives them handle values.
//
// A handle is a number from the table, never an object address: a closed,
// foreign or made-up value is looked up, not followed, and answered with
// ERROR_INVALID_HANDLE. Values are never reused, so a handle closed by
// mistake cannot come to name some other object later.
#ifndef ZEM_PLATFORM_KERNEL_KERNEL_OBJECTS_H
#define ZEM_PLATFORM_KERNEL_KERNEL_OBJECTS_H

#include <memory>

#include "windows.h"

namespace zem::platform {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // WAIT_OBJECT_0 once signalled, WAIT_TIMEOUT when the time runs out first.
  // INFINITE waits as long as it takes.
  virtual DWORD Wait(DWORD milliseconds) = 0;
};

// A new handle for the object. The table holds a reference until the handle
// is closed; the object may live on after that while others hold it.
HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null for a value that is not an open handle.
std::shared_ptr<KernelObject> LookupKernelObject(HANDLE handle);
// Forgets the handle; false when it was not open.
bool CloseKernelObject(HANDLE handle);

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_KERNEL_OBJECTS_H
