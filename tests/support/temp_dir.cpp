#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace zemtest {

TempDir::TempDir() {
  // TMPDIR on Linux, the user's temporary folder on Windows.
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::filesystem::path candidate = base / ("zemtest-" + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(candidate, ec)) path_ = candidate.string();
  }
  if (path_.empty()) ADD_FAILURE() << "cannot create a temporary folder below " << base.string();
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const { return path_ + "/" + name; }

std::string TempDir::write(const std::string &name, const std::string &content) const {
  return write_file(file(name), content);
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

std::string write_file(const std::string &path, const std::string &content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  return path;
}

}  // namespace zemtest
