#include "arguments.h"

#include <cstring>

#include "failure.h"

namespace zem::wininet {

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

bool ReadSizedText(LPCSTR text, DWORD length, const char *name, std::string *out, size_t max_length) {
  if (length == static_cast<DWORD>(-1)) return ReadText(text, name, out, max_length);
  out->clear();
  if (text == nullptr || length == 0) return true;
  if (length > max_length) {
    Fail(ERROR_INVALID_PARAMETER,
         std::string(name) + " is longer than " + std::to_string(max_length) + " characters.");
    return false;
  }
  if (IsBadReadPtr(text, length)) {
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

}  // namespace

bool CheckReadable(const void *pointer, size_t size, const char *name) {
  return CheckMemory(size != 0 && pointer != nullptr && IsBadReadPtr(pointer, size), pointer, size, name, "read");
}

bool CheckWritable(void *pointer, size_t size, const char *name) {
  return CheckMemory(size != 0 && pointer != nullptr && IsBadWritePtr(pointer, size), pointer, size, name,
                     "written");
}

BOOL CopyToCaller(const void *data, DWORD size, DWORD reported, LPVOID buffer, LPDWORD length) {
  if (buffer == nullptr || *length < size) {
    *length = size;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (!CheckWritable(buffer, size, "lpBuffer")) return FALSE;
  memcpy(buffer, data, size);
  *length = reported;
  return TRUE;
}

}  // namespace zem::wininet
