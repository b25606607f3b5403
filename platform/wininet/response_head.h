// One response's status line and header fields as they arrived.
#ifndef ZEM_WININET_RESPONSE_HEAD_H
#define ZEM_WININET_RESPONSE_HEAD_H

#include <string>
#include <string_view>
#include <vector>

#include "header_list.h"

namespace zem::wininet {

struct ResponseHead {
  std::string version;  // "HTTP/1.1"
  DWORD status = 0;
  std::string reason;   // "OK"
  std::vector<std::string> lines;  // status line, then each header line, without line ends
  HeaderList fields;

  // Starts a head from its status line; false when the line is not one.
  bool SetStatusLine(std::string_view line);
  // Adds a header line; a line starting with a blank continues the last field.
  void AddLine(std::string_view line);
  // Why the body's length cannot be trusted: a Content-Length that is not a
  // decimal number that fits, or several that disagree. "" when it can.
  std::string LengthFault() const;
};

}  // namespace zem::wininet

#endif
