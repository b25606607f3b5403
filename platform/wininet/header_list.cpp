#include "header_list.h"

#include <algorithm>
#include <cctype>

#include "wininet.h"

namespace zem::wininet {
namespace {

bool IsTokenChar(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return std::string_view("()<>@,;:\\\"/[]?={}").find(static_cast<char>(c)) == std::string_view::npos;
}

// A value may hold visible characters, blanks and tabs, but no other control
// character: a CR or LF inside it would start a header the caller never wrote.
bool IsValueText(std::string_view value) {
  return std::all_of(value.begin(), value.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c == '\t' || c >= 0x20;
  }) && value.find('\x7F') == std::string_view::npos;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    // Only CR LF ends a line: a bare CR or LF stays inside its line, where
    // the checks of names and values refuse it.
    const size_t end = text.find("\r\n");
    const std::string_view line = text.substr(0, end);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
  }
  return lines;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsToken(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return IsTokenChar(static_cast<unsigned char>(c)); });
}

DWORD HeaderList::Apply(std::string_view text, DWORD modifiers) {
  std::vector<HeaderField> parsed;
  for (std::string_view line : SplitLines(text)) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return ERROR_HTTP_INVALID_HEADER;
    const std::string_view name = TrimBlanks(line.substr(0, colon));
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (!IsToken(name) || !IsValueText(value)) return ERROR_HTTP_INVALID_HEADER;
    parsed.push_back({std::string(name), std::string(value)});
  }
  if (parsed.empty()) return ERROR_HTTP_INVALID_HEADER;
  // A failing line leaves the lines before it applied, as separate calls would.
  for (const HeaderField &field : parsed) {
    const DWORD error = ApplyOne(field, modifiers);
    if (error != 0) return error;
  }
  return 0;
}

DWORD HeaderList::ApplyOne(const HeaderField &field, DWORD modifiers) {
  auto found = std::find_if(fields_.begin(), fields_.end(),
                            [&](const HeaderField &f) { return EqualsNoCase(f.name, field.name); });
  const bool present = found != fields_.end();
  if (modifiers & HTTP_ADDREQ_FLAG_REPLACE) {
    if (present) {
      if (field.value.empty()) {
        fields_.erase(found);
      } else {
        found->value = field.value;
      }
      return 0;
    }
    // Removing what is not there leaves the list as asked.
    if (field.value.empty()) return 0;
    if (!(modifiers & HTTP_ADDREQ_FLAG_ADD)) return ERROR_HTTP_HEADER_NOT_FOUND;
    Append(field.name, field.value);
    return 0;
  }
  if (modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) {
    if (present) return ERROR_HTTP_HEADER_ALREADY_EXISTS;
    Append(field.name, field.value);
    return 0;
  }
  const bool comma = (modifiers & HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA) != 0;
  const bool semicolon = (modifiers & HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON) != 0;
  if ((comma || semicolon) && present) {
    if (!field.value.empty()) {
      if (!found->value.empty()) found->value += comma ? ", " : "; ";
      found->value += field.value;
    }
    return 0;
  }
  // A plain add keeps earlier fields of the same name: some headers repeat.
  Append(field.name, field.value);
  return 0;
}

const HeaderField *HeaderList::Find(std::string_view name, size_t index) const {
  for (const HeaderField &field : fields_) {
    if (EqualsNoCase(field.name, name) && index-- == 0) return &field;
  }
  return nullptr;
}

size_t HeaderList::Count(std::string_view name) const {
  return static_cast<size_t>(std::count_if(fields_.begin(), fields_.end(),
                                           [&](const HeaderField &f) { return EqualsNoCase(f.name, name); }));
}

void HeaderList::Append(std::string name, std::string value) {
  fields_.push_back({std::move(name), std::move(value)});
}

}  // namespace zem::wininet
