#include "paths.h"

#include <dirent.h>
#include <dlfcn.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace zem::platform {
namespace {

bool Exists(const std::string &path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string FolderOf(const std::string &path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string NativePath(const char *path) {
  if (path == nullptr) return std::string();
  std::string native(path);
  for (char &c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::string ResolveExistingPath(const char *path) {
  std::string native = NativePath(path);
  if (native.empty() || Exists(native)) return native;

  const auto slash = native.find_last_of('/');
  const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (name.empty()) return native;
  // Keep the folder exactly as the caller wrote it ("" means the current one)
  // so that a relative path stays relative.
  const std::string folder = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);

  DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return native;
  std::string match;
  while (const dirent *entry = ::readdir(dir)) {
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
      match = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return match.empty() ? native : folder + match;
}

std::string PlatformLibraryDir() {
  static const std::string dir = [] {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&PlatformLibraryDir), &info) == 0 || info.dli_fname == nullptr) {
      return ExecutableDir();
    }
    return FolderOf(CanonicalPath(info.dli_fname));
  }();
  return dir;
}

std::string ExecutableDir() {
  static const std::string dir = [] {
    const std::string path = ExecutablePath();
    return path.empty() ? std::string(".") : FolderOf(path);
  }();
  return dir;
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string CanonicalPath(const std::string &path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

}  // namespace zem::platform
