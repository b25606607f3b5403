// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes out of scope.
#ifndef ZEM_TEST_TEMP_DIR_H
#define ZEM_TEST_TEMP_DIR_H

#include <filesystem>
#include <string>

namespace zemtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string &name) const;
  // Writes a file below the folder and returns its full path.
  std::string write(const std::string &name, const std::string &content) const;
  // Copies an existing file into the folder under a new name.
  std::string copy_in(const std::string &source, const std::string &name) const;

 private:
  std::string path_;
};

// Makes a folder the current folder for the guard's lifetime: bare file and
// module names are looked for there.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string &folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolder() { std::filesystem::current_path(previous_); }
  CurrentFolder(const CurrentFolder &) = delete;
  CurrentFolder &operator=(const CurrentFolder &) = delete;

 private:
  std::filesystem::path previous_;
};

// The whole content of a file, or "" when it cannot be read.
std::string read_file(const std::string &path);
// Writes a file (and the folders above it); returns the path.
std::string write_file(const std::string &path, const std::string &content);

}  // namespace zemtest

#endif
