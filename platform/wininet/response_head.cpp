#include "response_head.h"

#include <cctype>
#include <algorithm>

namespace zem::wininet {

bool ResponseHead::SetStatusLine(std::string_view line) {
  *this = ResponseHead();
  // Room for a usual head at once, rather than growing line by line.
  constexpr size_t kUsualLines = 16;
  lines.reserve(kUsualLines);
  fields.Reserve(kUsualLines);
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

std::string ResponseHead::LengthFault() const {
  // A list ("5, 5") and repeated fields are one length if every value agrees.
  std::string first;
  for (size_t i = 0; const HeaderField *field = fields.Find("Content-Length", i); ++i) {
    std::string_view rest = field->value;
    for (;;) {
      const size_t comma = rest.find(',');
      const std::string_view value = TrimBlanks(rest.substr(0, comma));
      // 18 digits always fit a signed 64-bit count; longer ones are refused
      // rather than read as a body that ends with the connection.
      if (value.empty() || value.size() > 18 ||
          value.find_first_not_of("0123456789") != std::string_view::npos) {
        return "the server sent the invalid Content-Length \"" + field->value + "\"";
      }
      const std::string_view digits = value.substr(std::min(value.find_first_not_of('0'), value.size() - 1));
      if (first.empty()) {
        first.assign(digits);
      } else if (digits != first) {
        return "the server sent conflicting Content-Length values " + first + " and " + std::string(digits);
      }
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return "";
}

}  // namespace zem::wininet
