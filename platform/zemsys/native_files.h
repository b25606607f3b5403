// The system's file service behind the support library's file operations.
// Callers have checked their pointers; paths may use either separator; every
// result is 0 or a Windows error code.
#ifndef ZEM_PLATFORM_ZEMSYS_NATIVE_FILES_H
#define ZEM_PLATFORM_ZEMSYS_NATIVE_FILES_H

#include <cstdint>

#include "ZemSys.h"

namespace zem::sys {

constexpr WORD kAttrReadOnly = 0x01;
constexpr WORD kAttrDirectory = 0x10;
constexpr WORD kAttrNormal = 0x20;

// 0 for an existing regular file, 5 for a folder or anything else that is no
// file; *attributes, set only when the path exists, as SysFileStatus gives
// them (0 for what is neither file nor folder).
DWORD NativeFileStatus(const char *path, WORD *attributes);
// Opens an existing file (mode bit 0 read, bit 1 write, 0 reads) into a
// positive handle; a folder is refused with 5.
DWORD NativeFileOpen(int *file, const char *path, int mode);
// Creates or truncates the file under exactly the name given, for reading
// and writing; read_only marks a new file so.
DWORD NativeFileCreate(int *file, const char *path, bool read_only);
// Origin 0 start, 1 current, 2 end (checked by the caller).
DWORD NativeFileSeek(int file, LONG offset, int origin, std::int64_t *position);
// Writes everything or says why not; *written counts what was written.
DWORD NativeFileWrite(int file, const void *data, DWORD size, DWORD *written);
DWORD NativeFileClose(int file);

}  // namespace zem::sys

#endif  // ZEM_PLATFORM_ZEMSYS_NATIVE_FILES_H
