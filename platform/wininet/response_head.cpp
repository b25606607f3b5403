#include "response_head.h"

#include <cctype>

namespace zem::wininet {

bool ResponseHead::SetStatusLine(std::string_view line) {
  *this = ResponseHead();
  lines.emplace_back(line);
  const size_t space = line.find(' ');
  if (space == std::string_view::npos || line.substr(0, 5) != "HTTP/") return false;
  version.assign(line.substr(0, space));
  std::string_view rest = line.substr(space + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  size_t digits = 0;
  DWORD code = 0;
  while (digits < rest.size() && digits < 3 && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
    code = code * 10 + static_cast<DWORD>(rest[digits] - '0');
    ++digits;
  }
  if (digits != 3) return false;
  status = code;
  reason.assign(TrimBlanks(rest.substr(3)));
  return true;
}

void ResponseHead::AddLine(std::string_view line) {
  lines.emplace_back(line);
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    if (HeaderField *last = fields.Last()) {
      std::string &value = last->value;
      const std::string_view more = TrimBlanks(line);
      if (!value.empty() && !more.empty()) value += ' ';
      value.append(more);
    }
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  fields.Append(std::string(TrimBlanks(line.substr(0, colon))), std::string(TrimBlanks(line.substr(colon + 1))));
}

}  // namespace zem::wininet
