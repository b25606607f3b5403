// What the module services offer the rest of the kernel.
#ifndef ZEM_PLATFORM_KERNEL_MODULES_H
#define ZEM_PLATFORM_KERNEL_MODULES_H

#include "windows.h"

namespace zem::platform {

// The main program's module, as GetModuleHandleA(NULL) returns it.
HMODULE MainProgramModule();

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_MODULES_H
