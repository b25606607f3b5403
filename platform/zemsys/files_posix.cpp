// The file service on POSIX: descriptors as handles, errno mapped to Windows
// codes, and names found without regard to case where the exact spelling is
// missing (Windows callers spell names freely).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "../kernel/paths.h"
#include "native_files.h"

namespace zem::sys {
namespace {

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_GEN_FAILURE;
  }
}

// Callers test handles for "positive", and 0 is their "no file". Should the
// process have closed its standard input, open() can hand out descriptor 0;
// move it out of the way so that a valid file never looks like no file.
int PositiveDescriptor(int fd) {
  if (fd != 0) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

DWORD OpenInto(int *file, const std::string &path, int flags, mode_t mode) {
  const int fd = PositiveDescriptor(::open(path.c_str(), flags | O_CLOEXEC, mode));
  if (fd < 0) return ErrorFromErrno(errno);
  *file = fd;
  return 0;
}

int AccessFlags(int mode) {
  switch (mode & 3) {
    case 2: return O_WRONLY;
    case 3: return O_RDWR;
    default: return O_RDONLY;
  }
}

}  // namespace

DWORD NativeFileStatus(const char *path, WORD *attributes) {
  const std::string found = zem::platform::ResolveExistingPath(path);
  struct stat st;
  if (found.empty() || ::stat(found.c_str(), &st) != 0) return ErrorFromErrno(found.empty() ? ENOENT : errno);
  if (S_ISDIR(st.st_mode)) {
    *attributes = kAttrDirectory;
    return ERROR_ACCESS_DENIED;
  }
  // A device, pipe or socket is not a file the callers can read settings
  // from or append a log to.
  if (!S_ISREG(st.st_mode)) {
    *attributes = 0;
    return ERROR_ACCESS_DENIED;
  }
  *attributes = kAttrNormal;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) *attributes |= kAttrReadOnly;
  return 0;
}

DWORD NativeFileOpen(int *file, const char *path, int mode) {
  const std::string found = zem::platform::ResolveExistingPath(path);
  if (found.empty()) return ERROR_FILE_NOT_FOUND;
  const DWORD status = OpenInto(file, found, AccessFlags(mode), 0);
  // Opening a folder for reading succeeds natively; the callers want a file.
  struct stat st;
  if (status == 0 && ::fstat(*file, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(*file);
    *file = 0;
    return ERROR_ACCESS_DENIED;
  }
  return status;
}

DWORD NativeFileCreate(int *file, const char *path, bool read_only) {
  const std::string native = zem::platform::NativePath(path);
  if (native.empty()) return ERROR_FILE_NOT_FOUND;
  return OpenInto(file, native, O_RDWR | O_CREAT | O_TRUNC, read_only ? 0444 : 0666);
}

DWORD NativeFileSeek(int file, LONG offset, int origin, std::int64_t *position) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  const off_t pos = ::lseek(file, offset, kWhence[origin]);
  if (pos < 0) return errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno);
  *position = pos;
  return 0;
}

DWORD NativeFileWrite(int file, const void *data, DWORD size, DWORD *written) {
  const char *p = static_cast<const char *>(data);
  while (*written < size) {
    const ssize_t n = ::write(file, p + *written, size - *written);
    if (n > 0) {
      *written += static_cast<DWORD>(n);
    } else if (n == 0) {
      return ERROR_WRITE_FAULT;
    } else if (errno != EINTR) {
      return ErrorFromErrno(errno);
    }
  }
  return 0;
}

DWORD NativeFileClose(int file) {
  // Linux releases the descriptor even when close() reports EINTR; retrying
  // could close a descriptor another thread has just been given.
  if (::close(file) != 0 && errno != EINTR) return ErrorFromErrno(errno);
  return 0;
}

}  // namespace zem::sys
