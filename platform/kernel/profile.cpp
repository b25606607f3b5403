// GetPrivateProfileStringA: values, key lists and section lists from INI
// files.
//
// A file name without a folder is looked for in the current folder (Windows
// would look in its own folder, which does not exist here); either separator
// may be used, and a file name missing in its folder is matched without
// regard to case. Section and key names match without regard to case; when
// a section appears twice, the first occurrence of a key wins.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "memory_probe.h"
#include "paths.h"
#include "windows.h"

namespace zem::platform {
namespace {

constexpr std::size_t kMaxName = 64 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string &text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool SameName(const std::string &a, const std::string &b) { return ::strcasecmp(a.c_str(), b.c_str()) == 0; }

struct Entry {
  std::string section;
  std::string key;
  std::string value;
};

struct Profile {
  std::vector<std::string> sections;  // in file order, each name once
  std::vector<Entry> entries;
};

std::optional<Profile> ReadProfile(const std::string &path) {
  FILE *file = ::fopen(path.c_str(), "re");
  if (file == nullptr) return std::nullopt;
  Profile profile;
  std::optional<std::string> section;  // keys before the first section belong to none
  char *raw = nullptr;
  size_t capacity = 0;
  ssize_t length;
  bool first = true;
  while ((length = ::getline(&raw, &capacity, file)) >= 0) {
    std::string line(raw, static_cast<std::size_t>(length));
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first = false;
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      section = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      const bool seen = std::any_of(profile.sections.begin(), profile.sections.end(),
                                    [&](const std::string &s) { return SameName(s, *section); });
      if (!seen) profile.sections.push_back(*section);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!section || equals == std::string::npos) continue;
    std::string value = Trim(line.substr(equals + 1));
    // One pair of quotes around a value is not part of it.
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    profile.entries.push_back({*section, Trim(line.substr(0, equals)), value});
  }
  ::free(raw);
  ::fclose(file);
  return profile;
}

// Several names, each ended by a NUL, the whole ended by one more NUL. When
// they do not fit, the last one that does is cut and followed by two NULs.
std::string NameList(const std::vector<std::string> &names) {
  std::string list;
  for (const std::string &name : names) list += name + '\0';
  return list;
}

DWORD CopyList(const std::string &list, LPSTR out, DWORD size) {
  if (list.size() + 1 <= size) {
    std::memcpy(out, list.data(), list.size());
    out[list.size()] = '\0';
    if (list.empty() && size >= 2) out[1] = '\0';
    return static_cast<DWORD>(list.size());
  }
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::memcpy(out, list.data(), size - 2);
  out[size - 2] = '\0';
  out[size - 1] = '\0';
  return size - 2;
}

// A single text, cut to the buffer when it does not fit.
DWORD CopyValue(const std::string &value, LPSTR out, DWORD size) {
  const std::size_t copied = std::min<std::size_t>(value.size(), size - 1);
  std::memcpy(out, value.data(), copied);
  out[copied] = '\0';
  return static_cast<DWORD>(copied);
}

std::string DefaultText(LPCSTR text) {
  std::string value;
  CopyCallerText(text, kMaxName, value);  // null or unreadable: empty
  // Windows drops the default's trailing blanks.
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
  return value;
}

}  // namespace
}  // namespace zem::platform

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  using namespace zem::platform;
  if (nSize == 0) return 0;
  if (lpReturnedString == nullptr || !IsWritableRange(lpReturnedString, nSize)) {
    SetLastError(lpReturnedString == nullptr ? ERROR_INVALID_PARAMETER : ERROR_NOACCESS);
    return 0;
  }
  const std::string fallback = DefaultText(lpDefault);

  std::string section, key, file;
  const bool want_sections = lpAppName == nullptr;
  const bool want_keys = !want_sections && lpKeyName == nullptr;
  DWORD error = CopyCallerText(lpFileName, PATH_MAX, file);
  if (error == 0 && !want_sections) error = CopyCallerText(lpAppName, kMaxName, section);
  if (error == 0 && !want_sections && !want_keys) error = CopyCallerText(lpKeyName, kMaxName, key);
  if (error == 0 && file.empty()) error = ERROR_FILE_NOT_FOUND;
  if (error != 0) {
    SetLastError(error == ERROR_INVALID_PARAMETER ? ERROR_FILE_NOT_FOUND : error);
    return CopyValue(fallback, lpReturnedString, nSize);
  }

  const auto profile = ReadProfile(ResolveExistingPath(file.c_str()));
  if (!profile) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return want_sections ? CopyList(std::string(), lpReturnedString, nSize)
                        : CopyValue(fallback, lpReturnedString, nSize);
  }
  if (want_sections) return CopyList(NameList(profile->sections), lpReturnedString, nSize);

  std::vector<std::string> keys;
  for (const Entry &entry : profile->entries) {
    if (!SameName(entry.section, section)) continue;
    if (want_keys) {
      const bool seen = std::any_of(keys.begin(), keys.end(), [&](const std::string &k) { return SameName(k, entry.key); });
      if (!seen) keys.push_back(entry.key);
    } else if (SameName(entry.key, key)) {
      return CopyValue(entry.value, lpReturnedString, nSize);
    }
  }
  if (want_keys) {
    const bool section_found = std::any_of(profile->sections.begin(), profile->sections.end(),
                                          [&](const std::string &s) { return SameName(s, section); });
    if (section_found) return CopyList(NameList(keys), lpReturnedString, nSize);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return CopyValue(fallback, lpReturnedString, nSize);
}
