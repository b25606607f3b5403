// A request's header list, changed the way HttpAddRequestHeadersA promises:
// add, add only if new, replace (an empty value removes), coalesce with a
// comma or a semicolon. Names keep their spelling and compare without regard
// to case; the list keeps the order of first addition.
#ifndef ZEM_WININET_HEADER_LIST_H
#define ZEM_WININET_HEADER_LIST_H

#include <string>
#include <string_view>
#include <vector>

#include "windows.h"

namespace zem::wininet {

struct HeaderField {
  std::string name;
  std::string value;
};

bool EqualsNoCase(std::string_view a, std::string_view b);
std::string_view TrimBlanks(std::string_view text);
// A header name or method is an HTTP token: visible characters other than
// separators.
bool IsToken(std::string_view text);

class HeaderList {
 public:
  // Applies every "Name: value" line of the text (lines end with CR LF or LF;
  // empty lines are skipped) with the modifier flags. Every line is parsed
  // before any is applied, so a malformed line changes nothing. Returns 0 or the
  // error: ERROR_HTTP_INVALID_HEADER for a malformed line,
  // ERROR_HTTP_HEADER_ALREADY_EXISTS for ADD_IF_NEW of a present name,
  // ERROR_HTTP_HEADER_NOT_FOUND for REPLACE (without ADD) of an absent one.
  DWORD Apply(std::string_view text, DWORD modifiers);

  // The index-th field of that name, or null.
  const HeaderField *Find(std::string_view name, size_t index = 0) const;
  size_t Count(std::string_view name) const;
  void Append(std::string name, std::string value);
  void Reserve(size_t count) { fields_.reserve(count); }
  // The field added last (a folded line of a response continues it), or null.
  HeaderField *Last() { return fields_.empty() ? nullptr : &fields_.back(); }
  const std::vector<HeaderField> &fields() const { return fields_; }

 private:
  DWORD ApplyOne(const HeaderField &field, DWORD modifiers);
  std::vector<HeaderField> fields_;
};

}  // namespace zem::wininet

#endif
