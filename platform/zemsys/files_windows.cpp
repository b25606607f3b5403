// The file service on Windows: the system's file handles, which are small
// positive numbers that fit the callers' integer handles (the system keeps
// handle values in 32 bits on 64-bit Windows too), and the system's own
// error codes. Names match without regard to case natively.
#include <windows.h>

#include "native_files.h"

namespace zem::sys {
namespace {

HANDLE HandleOf(int file) { return LongToHandle(file); }

DWORD Adopt(int *file, HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  const long value = HandleToLong(handle);
  if (value <= 0) {
    CloseHandle(handle);
    return ERROR_INVALID_HANDLE;
  }
  *file = static_cast<int>(value);
  return 0;
}

// Others may read and append to a log while it is open, as with the POSIX
// service.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

DWORD NativeFileStatus(const char *path, WORD *attributes) {
  const DWORD found = GetFileAttributesA(path);
  if (found == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if ((found & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *attributes = kAttrDirectory;
    return ERROR_ACCESS_DENIED;
  }
  if ((found & FILE_ATTRIBUTE_DEVICE) != 0) {
    *attributes = 0;
    return ERROR_ACCESS_DENIED;
  }
  *attributes = kAttrNormal;
  if ((found & FILE_ATTRIBUTE_READONLY) != 0) *attributes |= kAttrReadOnly;
  return 0;
}

DWORD NativeFileOpen(int *file, const char *path, int mode) {
  DWORD access = GENERIC_READ;
  if ((mode & 3) == 2) access = GENERIC_WRITE;
  if ((mode & 3) == 3) access = GENERIC_READ | GENERIC_WRITE;
  // Without backup semantics a folder cannot be opened: 5, as callers expect.
  return Adopt(file, CreateFileA(path, access, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

DWORD NativeFileCreate(int *file, const char *path, bool read_only) {
  const DWORD attributes = read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  return Adopt(file,
               CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShare, nullptr, CREATE_ALWAYS, attributes, nullptr));
}

DWORD NativeFileSeek(int file, LONG offset, int origin, std::int64_t *position) {
  static const DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER distance, moved;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(HandleOf(file), distance, &moved, kMethod[origin])) return GetLastError();
  *position = moved.QuadPart;
  return 0;
}

DWORD NativeFileWrite(int file, const void *data, DWORD size, DWORD *written) {
  const char *p = static_cast<const char *>(data);
  while (*written < size) {
    DWORD done = 0;
    if (!WriteFile(HandleOf(file), p + *written, size - *written, &done, nullptr)) return GetLastError();
    if (done == 0) return ERROR_WRITE_FAULT;
    *written += done;
  }
  return 0;
}

DWORD NativeFileClose(int file) { return CloseHandle(HandleOf(file)) ? 0 : GetLastError(); }

}  // namespace zem::sys
