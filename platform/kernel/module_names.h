// How module names are compared and where a name is looked for.
#ifndef ZEM_PLATFORM_KERNEL_MODULE_NAMES_H
#define ZEM_PLATFORM_KERNEL_MODULE_NAMES_H

#include <optional>
#include <string>

#include "windows.h"

namespace zem::platform {

// The form two module names are compared in: the last path component, upper
// case, without a trailing ".DLL" ("wininet" and "WININET.DLL" are the same
// module, as on Windows).
std::string ModuleKey(const std::string &name);

// The last path component (after the last slash or backslash).
std::string BaseName(const std::string &path);

// True when the name carries a folder (any slash or backslash).
bool HasFolder(const std::string &name);

// For the names the platform provides itself ("WININET.DLL", "ZEMHTTP.DLL",
// "ZEMSYS.DLL", "KERNEL32.DLL", "USER32.DLL", "JSPROXY.DLL"): the full path of the shared
// object beside libzemplatform.so that stands for it, whether or not it
// exists. Empty for any other name.
std::string SystemLibraryPath(const std::string &name);

// Where LoadLibraryA finds a module: the canonical path of an existing file,
// or the error to report (ERROR_MOD_NOT_FOUND when nothing matches).
struct ModuleLocation {
  std::string path;
  DWORD error = 0;
};
ModuleLocation LocateModule(const std::string &name);

// The error for a file that exists but could not be loaded, judged from the
// file's header and the loader's message.
DWORD LoadFailureError(const std::string &path, const char *loader_message);

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_MODULE_NAMES_H
