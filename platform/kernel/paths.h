// Path helpers shared by the platform layer: Windows-style paths as native
// ones, the case-insensitive file-name fallback, and the folders the module
// loader searches.
#ifndef ZEM_PLATFORM_KERNEL_PATHS_H
#define ZEM_PLATFORM_KERNEL_PATHS_H

#include <string>

namespace zem::platform {

// A Windows-style path with backslashes as a native path (separators only).
std::string NativePath(const char *path);

// The native path of an existing file: when the last component is missing
// in its folder but a name matching without regard to case exists there,
// that one; otherwise NativePath(path).
std::string ResolveExistingPath(const char *path);

// Folder of libzemplatform.so, of the running executable.
std::string PlatformLibraryDir();
std::string ExecutableDir();

// The running executable's own path; a path with links and dot folders
// resolved (the path itself when it does not exist).
std::string ExecutablePath();
std::string CanonicalPath(const std::string &path);

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_PATHS_H
