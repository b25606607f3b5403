// File access with Windows-style paths, as the log writers and the settings
// reader use it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "ZemSys.h"
#include "temp_dir.h"

namespace {

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

size_t EntryCount(const std::string &folder) {
  auto it = std::filesystem::directory_iterator(folder);
  return static_cast<size_t>(std::distance(begin(it), end(it)));
}

TEST(SysFile, CreateNamesTheFileAsSpelledAndTruncatesOpenAppendsToAWrongCaseName) {
  zemtest::TempDir dir;
  int hFile = 0;
  for (const std::string text : {"a first, longer text\r\n", "first\r\n"}) {
    ASSERT_EQ(SysFileCreate(&hFile, Backslashed(dir.file("HttpLog.TXT")).c_str(), 0), 0u);
    EXPECT_GT(hFile, 0) << "file handles must be positive";
    EXPECT_EQ(SysFileWrite(hFile, text.data(), static_cast<DWORD>(text.size()), nullptr), 0u);
    EXPECT_EQ(SysFileClose(&hFile), 0u);
    EXPECT_EQ(zemtest::read_file(dir.file("HttpLog.TXT")), text) << "create must leave exactly the new content";
  }
  ASSERT_EQ(SysFileOpen(&hFile, Backslashed(dir.file("HTTPLOG.txt")).c_str(), 3, 0x20), 0u);
  LONG position = -1;
  EXPECT_EQ(SysFileSeek(hFile, 0, 2, &position), 0u);
  EXPECT_EQ(position, 7);
  DWORD written = 0;
  EXPECT_EQ(SysFileWrite(hFile, "second\r\n", 8, &written), 0u);
  EXPECT_EQ(written, 8u);
  EXPECT_EQ(SysFileClose(&hFile), 0u);
  EXPECT_EQ(hFile, 0) << "a closed handle variable must read as no file";
  EXPECT_EQ(SysFileClose(&hFile), 6u) << "a second close must not close descriptor 0";
  EXPECT_EQ(zemtest::read_file(dir.file("HttpLog.TXT")), "first\r\nsecond\r\n");
  EXPECT_EQ(EntryCount(dir.path()), 1u) << "opening a wrong-case name must not create another file";
}

TEST(SysFile, FailuresGiveWindowsCodesAndLeaveNoHandle) {
  zemtest::TempDir dir;
  const std::string plain = dir.write("plain.txt", "x");
  int hFile = 99;
  EXPECT_EQ(SysFileOpen(&hFile, dir.file("missing.txt").c_str(), 3, 0x20), 2u);
  EXPECT_EQ(hFile, 0);
  EXPECT_EQ(SysFileOpen(&hFile, dir.path().c_str(), 1, 0x20), 5u) << "a folder is not a file, even to read";
  EXPECT_EQ(SysFileCreate(&hFile, (plain + "/inner.txt").c_str(), 0), 3u) << "a file used as a folder";
  EXPECT_EQ(SysFileCreate(&hFile, dir.file(std::string(300, 'n')).c_str(), 0), 206u);
  EXPECT_EQ(SysFileOpen(&hFile, nullptr, 3, 0x20), 87u);
  EXPECT_EQ(SysFileOpen(nullptr, plain.c_str(), 3, 0x20), 87u);
  EXPECT_EQ(SysFileSeek(0, 0, 2, nullptr), 6u);
  EXPECT_EQ(SysFileWrite(-1, "x", 1, nullptr), 6u);
  ASSERT_EQ(SysFileOpen(&hFile, plain.c_str(), 3, 0x20), 0u);
  EXPECT_EQ(SysFileSeek(hFile, 0, 7, nullptr), 87u) << "an unknown origin";
  EXPECT_EQ(SysFileSeek(hFile, -5, 0, nullptr), 131u) << "a position before the start";
  EXPECT_EQ(SysFileWrite(hFile, nullptr, 4, nullptr), 87u);
  EXPECT_EQ(SysFileClose(&hFile), 0u);
}

TEST(SysFile, StatusTellsFilesFromFoldersAndReportsAttributes) {
  zemtest::TempDir dir;
  const std::string ini = dir.write("ZEMPROXY.INI", "[PROXY]\n");
  const std::string locked = dir.write("locked.txt", "x");
  ::chmod(locked.c_str(), 0444);
  const struct {
    std::string path;
    int status;
    WORD attributes;
  } cases[] = {
      {Backslashed(ini), 0, 0x20}, {dir.file("zemproxy.ini"), 0, 0x20}, {locked, 0, 0x21},
      {dir.path(), 5, 0x10},       {dir.file("absent.ini"), 2, 0},
  };
  for (const auto &c : cases) {
    WORD wAttr = 0;
    EXPECT_EQ(SysFileStatus(c.path.c_str(), &wAttr), c.status) << c.path;
    EXPECT_EQ(wAttr, c.attributes) << c.path;
  }
  EXPECT_EQ(SysFileStatus(nullptr, nullptr), 87);
}

}  // namespace
