// InternetCrackUrlA on any text: with and without decoding and escaping, with
// the parts asked for by pointer (into the caller's text) or copied into
// buffers of fuzzed sizes. A result that points outside the text or writes
// past a buffer is a finding; so is any crash or leak.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_url.h"
#include "windows.h"
#include "wininet.h"

using zemfuzz::kUrlPartCount;
using zemfuzz::kUrlParts;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  zemfuzz::Input in(data, size);
  const uint8_t mode = in.Byte();
  const bool buffers = mode & 1;
  const bool counted = mode & 2;  // the length is given instead of the terminator
  DWORD flags = 0;
  if (mode & 4) flags |= ICU_DECODE;
  if (mode & 8) flags |= ICU_ESCAPE;
  uint8_t sizes[kUrlPartCount];
  // Indexed: g++ 12 at -O3 misreads the range loop as writing past the array.
  for (size_t i = 0; i < kUrlPartCount; ++i) sizes[i] = in.Byte();
  const std::string url = in.Rest();

  // Buffers of the fuzzed sizes, each with guard bytes the library must not touch.
  constexpr size_t kGuard = 8;
  std::vector<std::vector<char>> storage(kUrlPartCount);
  URL_COMPONENTSA uc = {};
  uc.dwStructSize = sizeof(uc);
  for (size_t i = 0; i < kUrlPartCount; ++i) {
    if (buffers) {
      storage[i].assign(sizes[i] + kGuard, '\x5A');
      uc.*kUrlParts[i].text = storage[i].data();
      uc.*kUrlParts[i].length = sizes[i];
    } else {
      uc.*kUrlParts[i].length = sizes[i] & 1;  // non-zero asks for the part
    }
  }

  const DWORD given = counted ? static_cast<DWORD>(url.size()) : 0;
  const BOOL ok = InternetCrackUrlA(url.c_str(), given, flags, &uc);
  for (size_t i = 0; buffers && i < kUrlPartCount; ++i) {
    for (size_t g = sizes[i]; g < storage[i].size(); ++g) ZEM_FUZZ_CHECK(storage[i][g] == '\x5A');
  }
  if (!ok) return 0;
  for (size_t i = 0; i < kUrlPartCount; ++i) {
    const char *text = uc.*kUrlParts[i].text;
    const DWORD length = uc.*kUrlParts[i].length;
    if (buffers) {
      ZEM_FUZZ_CHECK(text == storage[i].data());
      if (sizes[i] != 0) {
        ZEM_FUZZ_CHECK(length < sizes[i]);
        ZEM_FUZZ_CHECK(text[length] == '\0');
      }
    } else if (text != nullptr) {
      // Parts asked for by pointer are found in the caller's own text.
      ZEM_FUZZ_CHECK(text >= url.c_str());
      ZEM_FUZZ_CHECK(text + length <= url.c_str() + url.size());
    } else {
      ZEM_FUZZ_CHECK(length == 0);
    }
  }
  return 0;
}
