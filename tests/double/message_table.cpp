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

// Every module with messages exports its table under one name, so the real
// library's table has the same name as this one. The module reads and writes
// its table by an internal name, so the dynamic linker cannot bind those
// accesses to the real table; the exported name is only an alias. And the
// table sits in a section of its own, which the sanitizer leaves out of its
// one-definition check: two modules' tables are not one variable defined
// twice.
static ZEM_MESSAGE_ENTRY g_messages[kMessageSlots] __asm__("zem_double_message_table")
    __attribute__((section(".data.zem_double_messages"))) = {
    {ERROR_INTERNET_TIMEOUT, "Test double: the operation timed out\r\n"},
    {ERROR_INTERNET_INVALID_URL, "Test double: the URL is invalid\r\n"},
    {ERROR_INTERNET_CANNOT_CONNECT, "Test double: cannot connect to the server\r\n"},
    {ERROR_HTTP_HEADER_NOT_FOUND, "Test double: the header was not found\r\n"},
    {0, nullptr},
};

extern "C" ZEM_EXPORT ZEM_MESSAGE_ENTRY ZemMessageTable[kMessageSlots]
    __attribute__((alias("zem_double_message_table")));

namespace zemdouble {

void SetTableMessage(DWORD id, const std::string &text) {
  std::lock_guard<std::mutex> lock(TableMutex());
  Texts().push_back(text);
  for (size_t i = 0; i + 1 < kMessageSlots; ++i) {
    ZEM_MESSAGE_ENTRY &entry = g_messages[i];
    if (entry.pszText == nullptr || entry.dwMessageId == id) {
      const bool bAppended = entry.pszText == nullptr;
      entry.dwMessageId = id;
      entry.pszText = Texts().back().c_str();
      if (bAppended) g_messages[i + 1] = ZEM_MESSAGE_ENTRY{0, nullptr};
      return;
    }
  }
}

}  // namespace zemdouble
