// Checks of what callers pass in, made before anything is touched: a null,
// unreadable or overlong argument becomes an error code, never a fault.
#ifndef ZEM_WININET_ARGUMENTS_H
#define ZEM_WININET_ARGUMENTS_H

#include <string>

#include "windows.h"

namespace zem::wininet {

// Longest name-like text accepted (agent, host, verb, object, user name ...).
constexpr size_t kMaxTextLength = 65535;
// Longest block of header lines accepted in one call.
constexpr size_t kMaxHeaderBlockLength = 1024 * 1024;

// Reads a NUL-terminated text that may be null (giving an empty text). On
// failure it records ERROR_INVALID_PARAMETER naming the argument and returns
// false.
bool ReadText(LPCSTR text, const char *name, std::string *out, size_t max_length = kMaxTextLength);

// A text that may reach a request's head (user agent, credentials, proxy
// names, referrer ...) must be one line: a CR or LF in it would start a
// header line its caller never wrote. Records ERROR_INVALID_PARAMETER naming
// the argument when it is not.
bool IsOneLine(const std::string &text, const char *name);
// ReadText for such a text.
bool ReadLineText(LPCSTR text, const char *name, std::string *out, size_t max_length = kMaxTextLength);

// Reads a text of the given length, or NUL-terminated when the length is
// (DWORD)-1. A null text reads as empty whatever the length.
bool ReadSizedText(LPCSTR text, DWORD length, const char *name, std::string *out, size_t max_length);

// Whether the caller's memory can be read or written over its whole length;
// on failure the error is recorded (87 for null, ERROR_NOACCESS otherwise).
// The probes ask the kernel page by page. For a buffer longer than
// kWholeProbeLimit its first and last bytes are asked about: a null, freed or
// overstated buffer fails there, and a body of many megabytes is not probed a
// page at a time on every call.
constexpr size_t kWholeProbeLimit = 16 * 1024;
bool CheckReadable(const void *pointer, size_t size, const char *name);
bool CheckWritable(void *pointer, size_t size, const char *name);
// The same question without recording anything.
bool IsWritable(void *pointer, size_t size);

// Copies into caller memory without faulting (false: it cannot be written).
// Within one page: a probe, free on the caller's stack, and a plain copy;
// else one checked copy through the kernel.
bool CopyIntoCaller(void *to, const void *from, size_t size);

// Hands data to a caller's buffer of *length bytes: with a null or short
// buffer, ERROR_INSUFFICIENT_BUFFER and *length = size; else the data is
// copied and *length = reported (a text's length leaves out its terminator).
BOOL CopyToCaller(const void *data, DWORD size, DWORD reported, LPVOID buffer, LPDWORD length);

}  // namespace zem::wininet

#endif
