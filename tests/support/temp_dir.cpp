#include "temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zemtest {

TempDir::TempDir() {
  const char *base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/zemtest-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const { return path_ + "/" + name; }

std::string TempDir::write(const std::string &name, const std::string &content) const {
  std::string full = file(name);
  std::filesystem::create_directories(std::filesystem::path(full).parent_path());
  std::ofstream out(full, std::ios::binary);
  out << content;
  return full;
}

std::string TempDir::copy_in(const std::string &source, const std::string &name) const {
  std::string full = file(name);
  std::filesystem::copy_file(source, full, std::filesystem::copy_options::overwrite_existing);
  return full;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace zemtest
