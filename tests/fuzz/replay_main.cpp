// Runs a fuzz target over committed inputs, without libFuzzer: each argument
// is a file or a folder of files, and each file is handed once to
// LLVMFuzzerTestOneInput. This makes every corpus input, findings included, a
// regression case of the normal and the sanitizer builds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static bool RunFile(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A private copy of exactly the input's size, so reads past its end are
  // caught by the address sanitizer as they are under libFuzzer.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + !bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  LLVMFuzzerTestOneInput(exact.get(), bytes.size());
  return true;
}

int main(int argc, char **argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (std::filesystem::is_directory(argv[i], ec)) {
      for (const auto &entry : std::filesystem::directory_iterator(argv[i])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.emplace_back(argv[i]);
    }
  }
  std::sort(files.begin(), files.end());
  size_t passed = 0, failed = 0;
  for (const auto &file : files) (RunFile(file) ? passed : failed)++;
  // An input that crashes ends the program before this line; a folder that
  // is empty or missing is a failure too, so no regression case goes unrun.
  std::printf("%zu passed, %zu failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
