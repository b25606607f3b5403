// InternetCanonicalizeUrlA on any text with any combination of its flags and
// a buffer of a fuzzed size: a size request must name a size that then
// suffices, the result must fit and be terminated where its length says, and
// the bytes behind the buffer stay untouched.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "windows.h"
#include "wininet.h"

namespace {

const DWORD kFlags[] = {ICU_DECODE, ICU_NO_ENCODE, ICU_NO_META, ICU_ENCODE_SPACES_ONLY, ICU_BROWSER_MODE,
                        ICU_ENCODE_PERCENT, ICU_ESCAPE, ICU_USERNAME};

// Canonicalises into a buffer of `size` characters followed by guard bytes.
BOOL Canonicalize(const std::string &url, DWORD flags, DWORD size, DWORD *length, std::string *out) {
  constexpr size_t kGuard = 8;
  std::vector<char> buffer(size + kGuard, '\x5A');
  *length = size;
  const BOOL ok = InternetCanonicalizeUrlA(url.c_str(), buffer.data(), length, flags);
  for (size_t g = size; g < buffer.size(); ++g) ZEM_FUZZ_CHECK(buffer[g] == '\x5A');
  if (ok) {
    ZEM_FUZZ_CHECK(*length < size);
    ZEM_FUZZ_CHECK(std::strlen(buffer.data()) == *length);
    out->assign(buffer.data(), *length);
  }
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  zemfuzz::Input in(data, size);
  const uint8_t choice = in.Byte();
  DWORD flags = 0;
  for (size_t i = 0; i < sizeof(kFlags) / sizeof(kFlags[0]); ++i) {
    if (choice & (1u << i)) flags |= kFlags[i];
  }
  const DWORD first_size = in.Byte();
  const std::string url = in.Rest();

  DWORD length = 0;
  std::string result;
  if (Canonicalize(url, flags, first_size, &length, &result)) return 0;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;
  // The size asked for includes the terminator and is enough.
  ZEM_FUZZ_CHECK(length > first_size);
  const DWORD needed = length;
  ZEM_FUZZ_CHECK(Canonicalize(url, flags, needed, &length, &result));
  ZEM_FUZZ_CHECK(length < needed);

  // A null buffer is a size request too.
  DWORD asked = 0;
  ZEM_FUZZ_CHECK(!InternetCanonicalizeUrlA(url.c_str(), nullptr, &asked, flags));
  ZEM_FUZZ_CHECK(GetLastError() == ERROR_INSUFFICIENT_BUFFER && asked > length);
  return 0;
}
