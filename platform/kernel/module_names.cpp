// Module names and the search for a module's file.
#include "module_names.h"

#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "paths.h"

#ifndef ZEM_SO_SUFFIX
#define ZEM_SO_SUFFIX ".so"
#endif

namespace zem::platform {
namespace {

bool IsRegularFile(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string CurrentDir() {
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) : std::string(".");
}

// The file names a bare name may have on disk: Windows appends ".dll" to a
// name without an extension, and a trailing dot means "no extension".
std::vector<std::string> FileNamesFor(const std::string &name) {
  if (!name.empty() && name.back() == '.') return {name.substr(0, name.size() - 1)};
  if (name.find('.') == std::string::npos) return {name, name + ".dll"};
  return {name};
}

// An existing file of that name in the folder, matched without regard to
// case; empty when there is none.
std::string FindInFolder(const std::string &folder, const std::string &name) {
  for (const std::string &candidate : FileNamesFor(name)) {
    const std::string path = ResolveExistingPath((folder + "/" + candidate).c_str());
    if (IsRegularFile(path)) return CanonicalPath(path);
  }
  return std::string();
}

}  // namespace

std::string BaseName(const std::string &path) {
  const auto separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool HasFolder(const std::string &name) { return name.find_first_of("/\\") != std::string::npos; }

std::string ModuleKey(const std::string &name) {
  std::string key = BaseName(name);
  for (char &c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!key.empty() && key.back() == '.') key.pop_back();
  if (key.size() > 4 && key.compare(key.size() - 4, 4, ".DLL") == 0) key.resize(key.size() - 4);
  return key;
}

std::string SystemLibraryPath(const std::string &name) {
  // The files are named by their SONAME (e.g. "libzemwininet.so.0"): the bare
  // ".so" links belong to the development files and may be missing.
  static const struct {
    const char *key;
    const char *file;
  } kSystemLibraries[] = {
      {"WININET", "libzemwininet" ZEM_SO_SUFFIX},  {"ZEMHTTP", "libzemhttp" ZEM_SO_SUFFIX},
      {"ZEMSYS", "libzemplatform" ZEM_SO_SUFFIX},  {"KERNEL32", "libzemplatform" ZEM_SO_SUFFIX},
      {"USER32", "libzemplatform" ZEM_SO_SUFFIX},  {"JSPROXY", "libzemjsproxy" ZEM_SO_SUFFIX},
  };
  const std::string key = ModuleKey(name);
  for (const auto &library : kSystemLibraries) {
    if (key == library.key) return PlatformLibraryDir() + "/" + library.file;
  }
  return std::string();
}

ModuleLocation LocateModule(const std::string &name) {
  if (HasFolder(name)) {
    const std::string path = ResolveExistingPath(name.c_str());
    if (IsRegularFile(path)) return {CanonicalPath(path), 0};
    return {std::string(), ERROR_MOD_NOT_FOUND};
  }
  // The auto-proxy library is one a program may bring its own of: a copy in
  // the current folder is taken before the platform's.
  const bool replaceable = ModuleKey(name) == "JSPROXY";
  std::string path = FindInFolder(ExecutableDir(), name);
  if (path.empty() && replaceable) path = FindInFolder(CurrentDir(), name);
  if (path.empty()) {
    const std::string system = SystemLibraryPath(name);
    if (!system.empty() && IsRegularFile(system)) path = CanonicalPath(system);
  }
  if (path.empty() && !replaceable) path = FindInFolder(CurrentDir(), name);
  if (path.empty()) return {std::string(), ERROR_MOD_NOT_FOUND};
  return {path, 0};
}

DWORD LoadFailureError(const std::string &path, const char *loader_message) {
  Elf64_Ehdr header{};
  FILE *file = std::fopen(path.c_str(), "rbe");
  const bool complete = file != nullptr && std::fread(&header, sizeof header, 1, file) == 1;
  if (file != nullptr) std::fclose(file);
  if (!complete || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_type != ET_DYN) {
    return ERROR_BAD_EXE_FORMAT;
  }
  // A good object that could not be loaded: a library it needs is missing,
  // or one of its imports is, which Windows reports the same two ways.
  const std::string message = loader_message != nullptr ? loader_message : "";
  if (message.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  if (message.find("cannot open shared object") != std::string::npos) return ERROR_MOD_NOT_FOUND;
  return ERROR_BAD_EXE_FORMAT;
}

}  // namespace zem::platform
