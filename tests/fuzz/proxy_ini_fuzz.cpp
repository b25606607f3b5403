// The settings-file reader on a fuzzed file: the input (after a choice byte
// and, when chosen, a section name line) is written as an INI file in a
// temporary folder, read key by key and listing by listing with
// GetPrivateProfileStringA, and loaded as the client's proxy settings file.
// Every text must end inside its buffer or record member, and the record
// may hold only method letters where letters go.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "ZemHttp.h"
#include "fuzz_input.h"
#include "windows.h"

namespace {

const char *const kKeys[] = {"szProxyCfg", "chProxyAccessType", "szProxyNames", "szProxyBypass", "szUsrAgt",
                             "szProxyUser", "szPassWord", "szUserName", "szProxyPswd"};
const char kMethodLetters[] = "XMWJI3041";

class TempFile {
 public:
  TempFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zemfuzz-XXXXXX").string();
    ZEM_FUZZ_CHECK(mkdtemp(&pattern[0]) != nullptr);
    folder_ = pattern;
    path_ = folder_ + "/ZEMPROXY.INI";
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::string &path() const { return path_; }
  void Write(const std::string &content) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    ZEM_FUZZ_CHECK(out.good());
  }

 private:
  std::string folder_, path_;
};

// A profile read into a buffer with guard bytes behind it.
void Read(const char *section, const char *key, DWORD size, const std::string &file) {
  std::string buffer(size + 8, '\x5A');
  const DWORD got = GetPrivateProfileStringA(section, key, "", &buffer[0], size, file.c_str());
  ZEM_FUZZ_CHECK(got < size);
  ZEM_FUZZ_CHECK(buffer[got] == '\0');
  for (size_t g = size; g < buffer.size(); ++g) ZEM_FUZZ_CHECK(buffer[g] == '\x5A');
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TempFile file;
  // One client for every input: a load replaces the record wholesale.
  static CZemHttp *http = [] {
    CZemHttp *h = new CZemHttp();
    h->EnableLogging(64, 16, 16);
    return h;
  }();

  zemfuzz::Input in(data, size);
  const uint8_t choice = in.Byte();
  const std::string section = (choice & 1) ? in.Until('\n') : std::string("PROXY");
  file.Write(in.Rest());

  const DWORD small = 1 + (choice >> 4);  // 1..16: texts cut short
  for (const char *key : kKeys) {
    Read(section.c_str(), key, 255, file.path());
    Read(section.c_str(), key, small, file.path());
  }
  Read(section.c_str(), nullptr, 255, file.path());  // the section's keys
  Read(nullptr, nullptr, small, file.path());        // the sections' names

  http->GetProxyIniFile(file.path().c_str(), section.c_str());
  const ZEMPROXYINFO &info = http->m_ZemProxyInfo;
  bool ended = false;
  for (DWORD slot : info.szProxyCfg) {
    ended |= slot == 0;
    ZEM_FUZZ_CHECK(ended ? slot == 0 : std::strchr(kMethodLetters, static_cast<int>(slot)) != nullptr);
  }
  ZEM_FUZZ_CHECK(info.chProxyAccessType == 0 ||
                 std::strchr(kMethodLetters, static_cast<int>(info.chProxyAccessType)) != nullptr);
  ZEM_FUZZ_CHECK(info.dwProxyAccessType == 0);
  zemfuzz::CheckTerminated(info.szUsrAgt);
  zemfuzz::CheckTerminated(info.szProxyUser);
  zemfuzz::CheckTerminated(info.szPassWord);
  zemfuzz::CheckTerminated(info.szUserName);
  zemfuzz::CheckTerminated(info.szProxyPswd);
  zemfuzz::CheckTerminated(info.szProxyNames);
  zemfuzz::CheckTerminated(info.szProxyBypass);
  return 0;
}
