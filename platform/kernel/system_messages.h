// Texts for the system error codes.
#ifndef ZEM_PLATFORM_KERNEL_SYSTEM_MESSAGES_H
#define ZEM_PLATFORM_KERNEL_SYSTEM_MESSAGES_H

#include "windows.h"

namespace zem::platform {

// The text for a system error code, without a line end; null for a code
// that has none.
const char *SystemMessageText(DWORD code);

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_SYSTEM_MESSAGES_H
