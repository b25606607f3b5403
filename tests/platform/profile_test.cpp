// Reading INI files with GetPrivateProfileStringA.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "temp_dir.h"
#include "windows.h"

namespace {

const char kProxyFile[] =
    "; proxy settings\r\n"
    "[General]\r\n"
    "szProxyNames=not this one\r\n"
    "[ Proxy ]\r\n"
    "  szProxyNames =  proxy.example:8080  \r\n"
    "szUsrAgt=\"  quoted agent  \"\r\n"
    "szEmpty=\r\n"
    "szLong=0123456789\r\n"
    "[PROXY]\r\n"
    "szProxyNames=second section loses\r\n"
    "szLate=from the repeated section\r\n";

class ProfileFile : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.write("ZemProxy.ini", kProxyFile); }

  // The value read with a 255-byte buffer, as the proxy loader reads it.
  std::string Read(const char *section, const char *key, const char *fallback = "",
                   const std::string &file = std::string()) {
    char buffer[255];
    std::memset(buffer, '#', sizeof buffer);
    const DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer,
                                             (file.empty() ? path_ : file).c_str());
    EXPECT_EQ(n, std::string(buffer).size()) << "the result must be the copied length";
    return buffer;
  }

  zemtest::TempDir dir_;
  std::string path_;
};

TEST_F(ProfileFile, NamesMatchWithoutRegardToCaseAndValuesAreTrimmed) {
  EXPECT_EQ(Read("PROXY", "SZPROXYNAMES"), "proxy.example:8080");
  EXPECT_EQ(Read("proxy", "szUsrAgt"), "  quoted agent  ") << "quotes keep the blanks inside them";
  EXPECT_EQ(Read("PROXY", "szLate"), "from the repeated section");
  EXPECT_EQ(Read("General", "szProxyNames"), "not this one");
}

TEST_F(ProfileFile, MissingKeysGiveTheDefault) {
  SetLastError(0);
  EXPECT_EQ(Read("PROXY", "szAbsent", "fallback  "), "fallback") << "the default loses its trailing blanks";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Read("NoSection", "szProxyNames", nullptr), "");
  EXPECT_EQ(Read("PROXY", "szEmpty", "fallback"), "") << "an empty value is a value";
}

TEST_F(ProfileFile, AValueThatDoesNotFitIsCut) {
  char buffer[5];
  EXPECT_EQ(GetPrivateProfileStringA("PROXY", "szLong", "", buffer, sizeof buffer, path_.c_str()), 4u);
  EXPECT_STREQ(buffer, "0123");
  EXPECT_EQ(GetPrivateProfileStringA("PROXY", "szLong", "", buffer, 0, path_.c_str()), 0u);
}

TEST_F(ProfileFile, MissingFileGivesTheDefaultAndError2) {
  SetLastError(0);
  EXPECT_EQ(Read("PROXY", "szProxyNames", "none", dir_.file("absent.ini")), "none");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(0);
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileStringA("PROXY", "szProxyNames", "none", buffer, sizeof buffer, nullptr), 4u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProfileFile, FileNameIsFoundInTheCurrentFolderInAnyCase) {
  {
    zemtest::CurrentFolder here(dir_.path());
    EXPECT_EQ(Read("PROXY", "szProxyNames", "", "ZEMPROXY.INI"), "proxy.example:8080");
  }

  std::string backslashed = dir_.path() + "\\zemproxy.ini";
  EXPECT_EQ(Read("PROXY", "szProxyNames", "", backslashed), "proxy.example:8080");
}

TEST_F(ProfileFile, NullNamesListSectionsAndKeys) {
  char buffer[128];
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, path_.c_str());
  // Each name ends in a NUL and one more NUL ends the list.
  EXPECT_EQ(std::string(buffer, n + 1), std::string("General\0Proxy\0\0", 15));

  n = GetPrivateProfileStringA("proxy", nullptr, "", buffer, sizeof buffer, path_.c_str());
  EXPECT_EQ(std::string(buffer, n), std::string("szProxyNames\0szUsrAgt\0szEmpty\0szLong\0szLate\0", 44));

  // Too small: the last name that fits is cut and ends in two NULs.
  char small[11];
  n = GetPrivateProfileStringA(nullptr, nullptr, "", small, sizeof small, path_.c_str());
  EXPECT_EQ(n, 9u);
  EXPECT_EQ(std::string(small, sizeof small), std::string("General\0P\0\0", 11));
}

}  // namespace
