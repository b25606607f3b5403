// FormatMessageA: message texts from a module's table, from the system's
// table or from the caller, with inserts, line-width handling and the two
// ways of handing the result back.
#include <stdarg.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bound_export.h"
#include "memory_probe.h"
#include "modules.h"
#include "system_messages.h"
#include "windows.h"

namespace zem::platform {
namespace {

constexpr std::size_t kMaxMessageText = 1u << 20;  // a longer caller text is refused, not scanned forever
constexpr std::size_t kMaxTableEntries = 1u << 16;  // a table without its end entry stops here
constexpr int kMaxInsert = 99;
constexpr unsigned kMaxFieldWidth = 4096;

// Windows's message compiler ends every message with a line break, and
// callers strip or print it accordingly; tables here hold the bare texts.
std::string AsMessage(const std::string &text) {
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) return text;
  return text + "\r\n";
}

DWORD ModuleMessage(HMODULE module, DWORD id, std::string &text) {
  DWORD why = 0;
  const auto *table = BoundExport<const ZEM_MESSAGE_ENTRY *>(module != nullptr ? module : MainProgramModule(),
                                                             ZEM_MESSAGE_TABLE_SYMBOL, &why);
  if (why == ERROR_INVALID_HANDLE) return ERROR_INVALID_HANDLE;
  if (table == nullptr) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  for (std::size_t i = 0; i < kMaxTableEntries; ++i) {
    if (!IsReadableRange(&table[i], sizeof table[i]) || table[i].pszText == nullptr) break;
    if (table[i].dwMessageId != id) continue;
    std::string found;
    if (CopyCallerText(table[i].pszText, kMaxMessageText, found) != 0) return ERROR_MR_MID_NOT_FOUND;
    text = AsMessage(found);
    return 0;
  }
  return ERROR_MR_MID_NOT_FOUND;
}

std::string SystemMessage(DWORD id) {
  if (const char *known = SystemMessageText(id)) return AsMessage(known);
  char unknown[48];
  std::snprintf(unknown, sizeof unknown, "Unknown error %u.", static_cast<unsigned>(id));
  return AsMessage(unknown);
}

DWORD MessageSource(DWORD flags, LPCVOID source, DWORD id, std::string &text) {
  const bool from_string = (flags & FORMAT_MESSAGE_FROM_STRING) != 0;
  const bool from_module = (flags & FORMAT_MESSAGE_FROM_HMODULE) != 0;
  const bool from_system = (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0;
  if (from_string) {
    if (from_module || from_system) return ERROR_INVALID_PARAMETER;
    const DWORD error = CopyCallerText(static_cast<const char *>(source), kMaxMessageText, text);
    return error == 0 ? 0 : ERROR_INVALID_PARAMETER;
  }
  if (from_module) {
    HMODULE module = static_cast<HMODULE>(const_cast<void *>(source));
    const DWORD error = ModuleMessage(module, id, text);
    if (error == 0 || !from_system) return error;
  }
  if (from_system) {
    text = SystemMessage(id);
    return 0;
  }
  return ERROR_INVALID_PARAMETER;
}

// ---- inserts ----

enum class ValueKind { kPointer, kInt, kLong, kLongLong };

// One "%n!fmt!" conversion, checked and turned into a printf format.
struct Conversion {
  std::string printf_format = "%s";
  ValueKind kind = ValueKind::kPointer;
  bool is_string = true;
};

// Accepts flags, width, precision, a length (Windows's I64, I32 and I too)
// and one integer, character, pointer or string conversion. Anything that
// would make printf read an argument of another type is refused.
bool ParseConversion(const std::string &conversion_text, Conversion &out) {
  std::size_t i = 0;
  std::string format = "%";
  while (i < conversion_text.size() && std::strchr("-+ #0", conversion_text[i]) != nullptr) format += conversion_text[i++];
  for (int part = 0; part < 2; ++part) {
    if (part == 1) {
      if (i >= conversion_text.size() || conversion_text[i] != '.') break;
      format += conversion_text[i++];
    }
    unsigned value = 0;
    while (i < conversion_text.size() && std::isdigit(static_cast<unsigned char>(conversion_text[i]))) {
      value = value * 10 + static_cast<unsigned>(conversion_text[i] - '0');
      if (value > kMaxFieldWidth) return false;
      format += conversion_text[i++];
    }
  }
  ValueKind kind = ValueKind::kInt;
  const std::string rest = conversion_text.substr(i);
  std::string length;
  if (rest.rfind("I64", 0) == 0) {
    kind = ValueKind::kLongLong, length = "ll", i += 3;
  } else if (rest.rfind("I32", 0) == 0) {
    i += 3;
  } else if (rest.rfind("ll", 0) == 0) {
    kind = ValueKind::kLongLong, length = "ll", i += 2;
  } else if (rest.rfind("hh", 0) == 0) {
    length = "hh", i += 2;
  } else if (!rest.empty() && (rest[0] == 'l' || rest[0] == 'I' || rest[0] == 'z')) {
    kind = ValueKind::kLong, length = "l", i += 1;
  } else if (!rest.empty() && rest[0] == 'h') {
    length = "h", i += 1;
  }
  if (i + 1 != conversion_text.size()) return false;
  const char conversion = conversion_text[i];
  if (conversion == 's' || conversion == 'p') {
    if (!length.empty()) return false;
    out.kind = ValueKind::kPointer;
    out.is_string = conversion == 's';
  } else if (std::strchr("diouxXc", conversion) != nullptr) {
    out.kind = kind;
    out.is_string = false;
  } else {
    return false;
  }
  out.printf_format = format + length + conversion;
  return true;
}

struct InsertValue {
  ValueKind kind = ValueKind::kPointer;
  unsigned long long bits = 0;  // the argument, widened
};

class InsertExpander {
 public:
  InsertExpander(const std::string &text, va_list *arguments, bool argument_array)
      : text_(text), arguments_(arguments), argument_array_(argument_array) {}

  DWORD Expand(std::string &out) {
    if (const DWORD error = CollectConversions()) return error;
    if (const DWORD error = ReadArguments()) return error;
    for (std::size_t i = 0; i < text_.size(); ++i) {
      const char c = text_[i];
      if (c != '%' || i + 1 == text_.size()) {
        out += c;
        continue;
      }
      const char next = text_[++i];
      if (next == '0') return 0;  // ends the message, line break and all
      if (std::isdigit(static_cast<unsigned char>(next))) {
        std::size_t end = i;
        const int number = ReadInsertNumber(end);
        std::string conversion_text;
        ReadSpec(end, conversion_text);
        if (const DWORD error = AppendInsert(number, conversion_text, out)) return error;
        i = end - 1;
        continue;
      }
      switch (next) {
        case 'n': out += "\r\n"; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case '%': case ' ': case '.': case '!': out += next; break;
        default: out += '%', out += next; break;  // not an escape: kept as written
      }
    }
    return 0;
  }

 private:
  // Reads one or two digits at pos (a third digit is text), moving pos past them.
  int ReadInsertNumber(std::size_t &pos) const {
    int number = text_[pos++] - '0';
    if (pos < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos]))) {
      number = number * 10 + (text_[pos++] - '0');
    }
    return number;
  }

  // An optional "!fmt!" at pos.
  void ReadSpec(std::size_t &pos, std::string &conversion_text) const {
    if (pos >= text_.size() || text_[pos] != '!') return;
    const std::size_t close = text_.find('!', pos + 1);
    if (close == std::string::npos) return;
    conversion_text = text_.substr(pos + 1, close - pos - 1);
    pos = close + 1;
  }

  DWORD CollectConversions() {
    for (std::size_t i = 0; i + 1 < text_.size(); ++i) {
      if (text_[i] != '%') continue;
      std::size_t pos = i + 1;
      if (text_[pos] == '0' || !std::isdigit(static_cast<unsigned char>(text_[pos]))) {
        i = pos;  // "%%" and the other escapes hide what follows them
        continue;
      }
      const int number = ReadInsertNumber(pos);
      std::string conversion_text;
      ReadSpec(pos, conversion_text);
      Conversion conversion;
      if (!conversion_text.empty() && !ParseConversion(conversion_text, conversion)) return ERROR_INVALID_PARAMETER;
      if (number > static_cast<int>(conversions_.size())) conversions_.resize(static_cast<std::size_t>(number));
      // The first use of a number decides how its argument is read.
      if (!seen_[number]) conversions_[static_cast<std::size_t>(number - 1)] = conversion;
      seen_[number] = true;
      i = pos - 1;
    }
    return 0;
  }

  DWORD ReadArguments() {
    if (conversions_.empty()) return 0;
    if (arguments_ == nullptr) return ERROR_INVALID_PARAMETER;
    values_.resize(conversions_.size());
    if (argument_array_) {
      // An array of pointer-sized values, whatever each one holds.
      const auto *array = reinterpret_cast<const DWORD_PTR *>(arguments_);
      if (!IsReadableRange(array, values_.size() * sizeof *array)) return ERROR_NOACCESS;
      for (std::size_t n = 0; n < values_.size(); ++n) {
        values_[n] = {conversions_[n].kind, array[n]};
      }
      return 0;
    }
    // Arguments come in order, each read with the type its conversion names;
    // one no conversion mentions is taken as pointer-sized.
    va_list list;
    va_copy(list, *arguments_);
    for (std::size_t n = 0; n < values_.size(); ++n) {
      InsertValue &value = values_[n];
      value.kind = conversions_[n].kind;
      switch (value.kind) {
        case ValueKind::kPointer: value.bits = reinterpret_cast<std::uintptr_t>(va_arg(list, const void *)); break;
        case ValueKind::kInt: value.bits = static_cast<unsigned int>(va_arg(list, int)); break;
        case ValueKind::kLong: value.bits = static_cast<unsigned long>(va_arg(list, long)); break;
        case ValueKind::kLongLong: value.bits = static_cast<unsigned long long>(va_arg(list, long long)); break;
      }
    }
    va_end(list);
    return 0;
  }

  DWORD AppendInsert(int number, const std::string &conversion_text, std::string &out) const {
    Conversion conversion;
    if (!conversion_text.empty()) ParseConversion(conversion_text, conversion);
    const InsertValue &value = values_[static_cast<std::size_t>(number - 1)];
    const char *format = conversion.printf_format.c_str();
    std::vector<char> buffer(kMaxFieldWidth * 2 + 64);
    int written = 0;
    if (conversion.is_string) {
      std::string text;
      if (CopyCallerText(reinterpret_cast<const char *>(value.bits), kMaxMessageText, text) != 0) {
        return ERROR_INVALID_PARAMETER;
      }
      buffer.resize(text.size() + kMaxFieldWidth + 1);
      written = std::snprintf(buffer.data(), buffer.size(), format, text.c_str());
    } else if (conversion.kind == ValueKind::kPointer) {
      written = std::snprintf(buffer.data(), buffer.size(), format, reinterpret_cast<void *>(value.bits));
    } else if (conversion.kind == ValueKind::kLongLong) {
      written = std::snprintf(buffer.data(), buffer.size(), format, value.bits);
    } else if (conversion.kind == ValueKind::kLong) {
      written = std::snprintf(buffer.data(), buffer.size(), format, static_cast<unsigned long>(value.bits));
    } else {
      written = std::snprintf(buffer.data(), buffer.size(), format, static_cast<unsigned int>(value.bits));
    }
    if (written < 0) return ERROR_INVALID_PARAMETER;
    out.append(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(written), buffer.size() - 1));
    return 0;
  }

  const std::string &text_;
  va_list *arguments_;
  bool argument_array_;
  std::vector<Conversion> conversions_;
  bool seen_[kMaxInsert + 1] = {};
  std::vector<InsertValue> values_;
};

// ---- line width ----

// With a width set, the line breaks written into the message text give way
// to blanks; the breaks the text asks for with %n stay.
std::string JoinLines(const std::string &text) {
  std::string joined;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      joined += ' ';
      ++i;
    } else if (text[i] == '\n') {
      joined += ' ';
    } else {
      joined += text[i];
    }
  }
  return joined;
}

// Breaks lines longer than width at their last blank, or mid-word when a
// word alone is longer than the width.
std::string WrapLines(const std::string &text, std::size_t width) {
  std::string out;
  std::size_t line_start = 0;
  for (char c : text) {
    out += c;
    if (c == '\n') {
      line_start = out.size();
      continue;
    }
    if (out.size() - line_start <= width) continue;
    const std::size_t blank = out.find_last_of(' ', out.size() - 2);
    if (blank != std::string::npos && blank >= line_start) {
      out.replace(blank, 1, "\r\n");
      line_start = blank + 2;
    } else {
      out.insert(out.size() - 1, "\r\n");
      line_start = out.size() - 1;
    }
  }
  return out;
}

DWORD Deliver(DWORD flags, const std::string &message, LPSTR buffer, DWORD size) {
  if (message.size() >= 0x7FFFFFFF) return ERROR_MORE_DATA;
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    // The buffer argument is then where the new block's address goes.
    auto **target = reinterpret_cast<char **>(buffer);
    if (target == nullptr || !IsWritableRange(target, sizeof *target)) return ERROR_INVALID_PARAMETER;
    const std::size_t bytes = std::max<std::size_t>(message.size() + 1, size);
    auto *block = static_cast<char *>(LocalAlloc(LMEM_ZEROINIT, bytes));
    if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(block, message.c_str(), message.size() + 1);
    *target = block;
    return 0;
  }
  if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
  if (message.size() + 1 > size) return ERROR_INSUFFICIENT_BUFFER;
  if (!IsWritableRange(buffer, message.size() + 1)) return ERROR_NOACCESS;
  std::memcpy(buffer, message.c_str(), message.size() + 1);
  return 0;
}

}  // namespace
}  // namespace zem::platform

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD /*dwLanguageId*/,
                            LPSTR lpBuffer, DWORD nSize, va_list *Arguments) {
  using namespace zem::platform;
  std::string text;
  if (const DWORD error = MessageSource(dwFlags, lpSource, dwMessageId, text)) {
    SetLastError(error);
    return 0;
  }
  const DWORD width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (width != 0) text = JoinLines(text);
  std::string message;
  if ((dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0) {
    message = text;
  } else {
    InsertExpander expander(text, Arguments, (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0);
    if (const DWORD error = expander.Expand(message)) {
      SetLastError(error);
      return 0;
    }
  }
  if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) message = WrapLines(message, width);
  if (const DWORD error = Deliver(dwFlags, message, lpBuffer, nSize)) {
    SetLastError(error);
    return 0;
  }
  return static_cast<DWORD>(message.size());
}
