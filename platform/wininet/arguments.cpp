#include "arguments.h"

#include <cstdint>
#include <cstring>

#include "failure.h"

namespace zem::wininet {
namespace {
bool BadForReading(const void *pointer, size_t size);
}  // namespace

bool ReadText(LPCSTR text, const char *name, std::string *out, size_t max_length) {
  out->clear();
  if (text == nullptr) return true;
  if (IsBadStringPtrA(text, max_length + 1)) {
    Fail(ERROR_INVALID_PARAMETER, std::string(name) + " is not a readable text.");
    return false;
  }
  const size_t length = strnlen(text, max_length + 1);
  if (length > max_length) {
    Fail(ERROR_INVALID_PARAMETER,
         std::string(name) + " is longer than " + std::to_string(max_length) + " characters.");
    return false;
  }
  out->assign(text, length);
  return true;
}

bool IsOneLine(const std::string &text, const char *name) {
  if (text.find_first_of("\r\n") == std::string::npos) return true;
  Fail(ERROR_INVALID_PARAMETER, std::string(name) + " holds a line break.");
  return false;
}

bool ReadLineText(LPCSTR text, const char *name, std::string *out, size_t max_length) {
  return ReadText(text, name, out, max_length) && IsOneLine(*out, name);
}

bool ReadSizedText(LPCSTR text, DWORD length, const char *name, std::string *out, size_t max_length) {
  if (length == static_cast<DWORD>(-1)) return ReadText(text, name, out, max_length);
  out->clear();
  if (text == nullptr || length == 0) return true;
  if (length > max_length) {
    Fail(ERROR_INVALID_PARAMETER,
         std::string(name) + " is longer than " + std::to_string(max_length) + " characters.");
    return false;
  }
  if (BadForReading(text, length)) {
    Fail(ERROR_INVALID_PARAMETER, std::string(name) + " is not readable over its given length.");
    return false;
  }
  // A terminating zero inside the given length ends the text.
  out->assign(text, strnlen(text, length));
  return true;
}

namespace {

bool CheckMemory(bool bad, const void *pointer, size_t size, const char *name, const char *access) {
  if (size == 0) return true;
  if (pointer == nullptr) {
    Fail(ERROR_INVALID_PARAMETER, std::string(name) + " is null.");
    return false;
  }
  if (bad) {
    Fail(ERROR_NOACCESS, std::string(name) + " cannot be " + access + " over its given length.");
    return false;
  }
  return true;
}

bool BadForReading(const void *pointer, size_t size) {
  if (size <= kWholeProbeLimit) return IsBadReadPtr(pointer, size);
  const char *bytes = static_cast<const char *>(pointer);
  return IsBadReadPtr(bytes, 1) || IsBadReadPtr(bytes + size - 1, 1);
}

bool BadForWriting(void *pointer, size_t size) {
  if (size <= kWholeProbeLimit) return IsBadWritePtr(pointer, size);
  char *bytes = static_cast<char *>(pointer);
  return IsBadWritePtr(bytes, 1) || IsBadWritePtr(bytes + size - 1, 1);
}

}  // namespace

bool CheckReadable(const void *pointer, size_t size, const char *name) {
  return CheckMemory(size != 0 && pointer != nullptr && BadForReading(pointer, size), pointer, size, name, "read");
}

bool IsWritable(void *pointer, size_t size) { return size == 0 || (pointer != nullptr && !BadForWriting(pointer, size)); }

bool CheckWritable(void *pointer, size_t size, const char *name) {
  return CheckMemory(size != 0 && pointer != nullptr && BadForWriting(pointer, size), pointer, size, name,
                     "written");
}

bool CopyIntoCaller(void *to, const void *from, size_t size) {
  const auto start = reinterpret_cast<uintptr_t>(to);
  constexpr uintptr_t kPage = 4096;
  if (size > 0 && start / kPage == (start + size - 1) / kPage) {
    if (IsBadWritePtr(to, size)) return false;
    memcpy(to, from, size);
    return true;
  }
  return WriteProcessMemory(GetCurrentProcess(), to, from, size, nullptr) != FALSE;
}

BOOL CopyToCaller(const void *data, DWORD size, DWORD reported, LPVOID buffer, LPDWORD length) {
  if (buffer == nullptr || *length < size) {
    *length = size;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (!CopyIntoCaller(buffer, data, size)) {
    return Fail(ERROR_NOACCESS, "lpBuffer cannot be written over its given length.");
  }
  *length = reported;
  return TRUE;
}

}  // namespace zem::wininet
