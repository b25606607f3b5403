// File access for logs and settings: Windows-style paths, positive handles
// that are native descriptors, and Windows error codes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "ZemSys.h"
#include "../kernel/paths.h"
#include "pointer_check.h"

using zem::sys::IsAddress;

namespace {

constexpr WORD kAttrReadOnly = 0x01;
constexpr WORD kAttrDirectory = 0x10;
constexpr WORD kAttrNormal = 0x20;

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

DWORD OpenInto(int *phFile, const std::string &path, int flags, mode_t mode) {
  const int fd = PositiveDescriptor(::open(path.c_str(), flags | O_CLOEXEC, mode));
  if (fd < 0) return ErrorFromErrno(errno);
  *phFile = fd;
  return 0;
}

int AccessFlags(int nMode) {
  switch (nMode & 3) {
    case 2: return O_WRONLY;
    case 3: return O_RDWR;
    default: return O_RDONLY;
  }
}

}  // namespace

int WINAPI SysFileStatus(const char *pszPath, WORD *pwAttr) {
  if (!IsAddress(pszPath)) return ERROR_INVALID_PARAMETER;
  const std::string path = zem::platform::ResolveExistingPath(pszPath);
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return static_cast<int>(ErrorFromErrno(path.empty() ? ENOENT : errno));
  WORD wAttr = 0;
  int status = 0;
  if (S_ISDIR(st.st_mode)) {
    wAttr = kAttrDirectory;
    status = ERROR_ACCESS_DENIED;
  } else if (S_ISREG(st.st_mode)) {
    wAttr = kAttrNormal;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) wAttr |= kAttrReadOnly;
  } else {
    // A device, pipe or socket is not a file the callers can read settings
    // from or append a log to.
    status = ERROR_ACCESS_DENIED;
  }
  if (IsAddress(pwAttr)) *pwAttr = wAttr;
  return status;
}

DWORD WINAPI SysFileOpen(int *phFile, const char *pszPath, int nMode, int /*nAttributes*/) {
  if (!IsAddress(phFile)) return ERROR_INVALID_PARAMETER;
  *phFile = 0;
  if (!IsAddress(pszPath)) return ERROR_INVALID_PARAMETER;
  const std::string path = zem::platform::ResolveExistingPath(pszPath);
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  const DWORD status = OpenInto(phFile, path, AccessFlags(nMode), 0);
  // Opening a folder for reading succeeds natively; the callers want a file.
  struct stat st;
  if (status == 0 && ::fstat(*phFile, &st) == 0 && S_ISDIR(st.st_mode)) {
    SysFileClose(phFile);
    return ERROR_ACCESS_DENIED;
  }
  return status;
}

DWORD WINAPI SysFileCreate(int *phFile, const char *pszPath, int nAttributes) {
  if (!IsAddress(phFile)) return ERROR_INVALID_PARAMETER;
  *phFile = 0;
  if (!IsAddress(pszPath)) return ERROR_INVALID_PARAMETER;
  const std::string path = zem::platform::NativePath(pszPath);
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  const mode_t mode = (nAttributes & kAttrReadOnly) != 0 ? 0444 : 0666;
  return OpenInto(phFile, path, O_RDWR | O_CREAT | O_TRUNC, mode);
}

DWORD WINAPI SysFileSeek(int hFile, LONG lOffset, int nOrigin, LONG *plNewPos) {
  if (hFile <= 0) return ERROR_INVALID_HANDLE;
  int whence;
  switch (nOrigin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return ERROR_INVALID_PARAMETER;
  }
  const off_t pos = ::lseek(hFile, lOffset, whence);
  if (pos < 0) return errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno);
  if (IsAddress(plNewPos)) {
    if (pos > INT32_MAX) return ERROR_ARITHMETIC_OVERFLOW;
    *plNewPos = static_cast<LONG>(pos);
  }
  return 0;
}

DWORD WINAPI SysFileWrite(int hFile, const void *pvData, DWORD cbData, DWORD *pcbWritten) {
  DWORD cbDone = 0;
  DWORD status = 0;
  if (hFile <= 0) {
    status = ERROR_INVALID_HANDLE;
  } else if (cbData > 0 && !IsAddress(pvData)) {
    status = ERROR_INVALID_PARAMETER;
  }
  const char *p = static_cast<const char *>(pvData);
  while (status == 0 && cbDone < cbData) {
    const ssize_t n = ::write(hFile, p + cbDone, cbData - cbDone);
    if (n > 0) {
      cbDone += static_cast<DWORD>(n);
    } else if (n == 0) {
      status = ERROR_WRITE_FAULT;
    } else if (errno != EINTR) {
      status = ErrorFromErrno(errno);
    }
  }
  if (IsAddress(pcbWritten)) *pcbWritten = cbDone;
  return status;
}

DWORD WINAPI SysFileClose(int *phFile) {
  if (!IsAddress(phFile)) return ERROR_INVALID_PARAMETER;
  const int fd = *phFile;
  if (fd <= 0) return ERROR_INVALID_HANDLE;
  *phFile = 0;
  // Linux releases the descriptor even when close() reports EINTR; retrying
  // could close a descriptor another thread has just been given.
  if (::close(fd) != 0 && errno != EINTR) return ErrorFromErrno(errno);
  return 0;
}
