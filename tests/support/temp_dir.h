// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes out of scope.
#ifndef ZEM_TEST_TEMP_DIR_H
#define ZEM_TEST_TEMP_DIR_H

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

// The whole content of a file, or "" when it cannot be read.
std::string read_file(const std::string &path);

}  // namespace zemtest

#endif
