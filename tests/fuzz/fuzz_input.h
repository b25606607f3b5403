// Helpers shared by the fuzz targets: a reader that takes numbers and texts
// off the front of the fuzzer's bytes, and the check that turns a broken
// promise of the library into a crash the fuzzer records.
#ifndef ZEM_FUZZ_INPUT_H
#define ZEM_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zemfuzz {

// A violated expectation is a finding: report it and abort, so that libFuzzer
// keeps the input and the replay of the corpus fails on it.
#define ZEM_FUZZ_CHECK(cond)                                                         \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

// A fixed-size text field must hold its terminator.
template <size_t N>
void CheckTerminated(const char (&member)[N]) {
  ZEM_FUZZ_CHECK(strnlen(member, N) < N);
}

class Input {
 public:
  Input(const uint8_t *data, size_t size) : p_(data), end_(data + size) {}

  bool empty() const { return p_ == end_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }

  // Missing bytes read as 0, so every input is usable whatever its length.
  uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t Dword() { return static_cast<uint32_t>(Word()) | static_cast<uint32_t>(Word()) << 16; }

  // The bytes up to the next `stop` (which is consumed) or the end.
  std::string Until(char stop) {
    const uint8_t *q = static_cast<const uint8_t *>(std::memchr(p_, stop, left()));
    const uint8_t *e = q ? q : end_;
    std::string s(reinterpret_cast<const char *>(p_), static_cast<size_t>(e - p_));
    p_ = q ? q + 1 : end_;
    return s;
  }
  std::string Rest() { return Until('\0'); }

 private:
  const uint8_t *p_;
  const uint8_t *end_;
};

}  // namespace zemfuzz

#endif
