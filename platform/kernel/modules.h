// What the module services offer the rest of the kernel.
#ifndef ZEM_PLATFORM_KERNEL_MODULES_H
#define ZEM_PLATFORM_KERNEL_MODULES_H

#include "windows.h"

namespace zem::platform {

// The address of an export of the module itself (not of a library it
// depends on), or null. *known (when given) tells whether the handle was a
// module at all.
void *FindModuleExport(HMODULE module, const char *name, bool *known);

// The main program's module, as GetModuleHandleA(NULL) returns it.
HMODULE MainProgramModule();

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_MODULES_H
