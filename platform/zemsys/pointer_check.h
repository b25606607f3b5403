// The one test every operation of the support library applies to a caller's
// pointer before touching it.
#ifndef ZEM_PLATFORM_ZEMSYS_POINTER_CHECK_H
#define ZEM_PLATFORM_ZEMSYS_POINTER_CHECK_H

#include <cstdint>

namespace zem::sys {

// Values below 0x10000 are resource identifiers on the system these callers
// were written for, never addresses; treating them as null keeps a caller's
// MAKEINTRESOURCE-style argument from being dereferenced.
inline bool IsAddress(const void *p) { return reinterpret_cast<std::uintptr_t>(p) >= 0x10000; }

}  // namespace zem::sys

#endif  // ZEM_PLATFORM_ZEMSYS_POINTER_CHECK_H
