// The double's message table, read by FormatMessageA for the module: a few
// of the codes the client's error texts look up. The Windows build has the
// same texts as a resource (message_table.mc).
#include "double_state.h"

constexpr size_t kMessageSlots = 5;  // the last slot ends the table

// Every module with messages exports its table under one name, so the real
// library's table has the same name as this one. The table's own name is an
// internal one, so the dynamic linker cannot bind it to the real table; the
// exported name is only an alias. And the
// table sits in a section of its own, which the sanitizer leaves out of its
// one-definition check: two modules' tables are not one variable defined
// twice. Only the alias refers to the table, hence "used" (clang would call
// it unused).
static ZEM_MESSAGE_ENTRY g_messages[kMessageSlots] __asm__("zem_double_message_table") __attribute__((used))
    __attribute__((section(".data.zem_double_messages"))) = {
    {ERROR_INTERNET_TIMEOUT, "Test double: the operation timed out\r\n"},
    {ERROR_INTERNET_INVALID_URL, "Test double: the URL is invalid\r\n"},
    {ERROR_INTERNET_CANNOT_CONNECT, "Test double: cannot connect to the server\r\n"},
    {ERROR_HTTP_HEADER_NOT_FOUND, "Test double: the header was not found\r\n"},
    {0, nullptr},
};

extern "C" ZEM_EXPORT ZEM_MESSAGE_ENTRY ZemMessageTable[kMessageSlots]
    __attribute__((alias("zem_double_message_table")));
