// Checks on caller memory that never fault: the platform layer's own code
// uses them before it reads a caller's text or fills a caller's buffer.
#ifndef ZEM_PLATFORM_KERNEL_MEMORY_PROBE_H
#define ZEM_PLATFORM_KERNEL_MEMORY_PROBE_H

#include <cstddef>
#include <optional>
#include <string>

#include "windows.h"

namespace zem::platform {

// Whether every byte of [p, p + size) can be read (written). Size 0 is
// always fine; a null pointer with a non-zero size never is.
bool IsReadableRange(const void *p, std::size_t size);
bool IsWritableRange(void *p, std::size_t size);

// The length of the NUL-terminated text at p, looking at no more than
// max_chars characters (max_chars when no NUL comes before that). Empty when
// p is null or memory ends before the NUL or the limit.
std::optional<std::size_t> ProbeStringLength(const char *p, std::size_t max_chars);

// Copies a caller's text of at most max_chars characters into out. Returns 0,
// ERROR_INVALID_PARAMETER for a null pointer, ERROR_NOACCESS for memory that
// cannot be read, ERROR_FILENAME_EXCED_RANGE when no NUL comes within the
// limit.
DWORD CopyCallerText(const char *text, std::size_t max_chars, std::string &out);

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_MEMORY_PROBE_H
