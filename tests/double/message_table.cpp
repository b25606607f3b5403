// The double's message table, read by FormatMessageA for the module. Tests
// add their own messages; the first ones are there from the start.
#include <deque>
#include <mutex>
#include <string>

#include "double_state.h"

namespace {

constexpr size_t kMessageSlots = 64;  // the last slot always ends the table

std::mutex &TableMutex() {
  static std::mutex mutex;
  return mutex;
}

// Texts set by tests; a deque keeps every text at its address.
std::deque<std::string> &Texts() {
  static std::deque<std::string> texts;
  return texts;
}

}  // namespace

extern "C" {
ZEM_EXPORT ZEM_MESSAGE_ENTRY ZemMessageTable[kMessageSlots] = {
    {ERROR_INTERNET_TIMEOUT, "Test double: the operation timed out\r\n"},
    {ERROR_INTERNET_INVALID_URL, "Test double: the URL is invalid\r\n"},
    {ERROR_INTERNET_CANNOT_CONNECT, "Test double: cannot connect to the server\r\n"},
    {ERROR_HTTP_HEADER_NOT_FOUND, "Test double: the header was not found\r\n"},
    {0, nullptr},
};
}

namespace zemdouble {

void SetTableMessage(DWORD id, const std::string &text) {
  std::lock_guard<std::mutex> lock(TableMutex());
  Texts().push_back(text);
  for (size_t i = 0; i + 1 < kMessageSlots; ++i) {
    ZEM_MESSAGE_ENTRY &entry = ZemMessageTable[i];
    if (entry.pszText == nullptr || entry.dwMessageId == id) {
      const bool bAppended = entry.pszText == nullptr;
      entry.dwMessageId = id;
      entry.pszText = Texts().back().c_str();
      if (bAppended) ZemMessageTable[i + 1] = ZEM_MESSAGE_ENTRY{0, nullptr};
      return;
    }
  }
}

}  // namespace zemdouble
