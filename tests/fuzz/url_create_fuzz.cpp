// InternetCreateUrlA from fuzzed parts (any of the six given or not, by
// length or NUL-terminated), a fuzzed scheme number and port, with and
// without ICU_ESCAPE; the URL made is then cracked again. A size request must
// name a size that suffices, and nothing is written behind the buffer.
#include <cstdint>
#include <cstring>
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
  const uint8_t given = in.Byte();    // bit i: part i is given
  const uint8_t counted = in.Byte();  // bit i: part i is given by length
  const uint8_t choice = in.Byte();
  const int scheme_number = static_cast<int8_t>(in.Byte());
  const INTERNET_PORT port = in.Word();
  const DWORD first_size = in.Byte();
  // The parts, one per line.
  std::string texts[kUrlPartCount];
  for (auto &t : texts) t = in.Until('\n');

  URL_COMPONENTSA uc = {};
  uc.dwStructSize = sizeof(uc);
  std::memcpy(&uc.nScheme, &scheme_number, sizeof scheme_number);
  uc.nPort = port;
  for (size_t i = 0; i < kUrlPartCount; ++i) {
    if (!(given & (1u << i))) continue;
    uc.*kUrlParts[i].text = &texts[i][0];
    // A counted part may hold NUL bytes; the length stops the read.
    uc.*kUrlParts[i].length = (counted & (1u << i)) ? static_cast<DWORD>(texts[i].size()) : 0;
  }
  const DWORD flags = (choice & 1) ? ICU_ESCAPE : 0;

  constexpr size_t kGuard = 8;
  std::vector<char> buffer(first_size + kGuard, '\x5A');
  DWORD length = first_size;
  BOOL ok = InternetCreateUrlA(&uc, flags, (choice & 2) ? nullptr : buffer.data(), &length);
  for (size_t g = first_size; g < buffer.size(); ++g) ZEM_FUZZ_CHECK(buffer[g] == '\x5A');
  if (!ok) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;
    ZEM_FUZZ_CHECK(length > 0);
    const DWORD needed = length;
    buffer.assign(needed + kGuard, '\x5A');
    ok = InternetCreateUrlA(&uc, flags, buffer.data(), &length);
    ZEM_FUZZ_CHECK(ok);
    for (size_t g = needed; g < buffer.size(); ++g) ZEM_FUZZ_CHECK(buffer[g] == '\x5A');
  }
  ZEM_FUZZ_CHECK(std::strlen(buffer.data()) == length);

  URL_COMPONENTSA back = {};
  back.dwStructSize = sizeof(back);
  for (const zemfuzz::UrlPart &p : kUrlParts) back.*p.length = 1;
  InternetCrackUrlA(buffer.data(), length, 0, &back);
  return 0;
}
