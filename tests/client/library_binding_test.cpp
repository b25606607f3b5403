// Loading the internet library from a chosen folder and binding its table,
// a library that is missing, and the WinHTTP choice that binds nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZemHttp.h"
#include "ZemSys.h"
#include "tests/double/double_fixture.h"

namespace {

using Entry = void (*)();

template <typename T>
Entry AsEntry(T pfn) {
  return reinterpret_cast<Entry>(pfn);
}

// The bound table in slot order, each entry with the export it binds (slot 16
// has none).
std::vector<std::pair<std::string, Entry>> Table(const CZemHttp &h) {
  return {
      {"DetectAutoProxyUrl", AsEntry(h.m_WinInet_DetectAutoProxyUrl)},
      {"HttpAddRequestHeadersA", AsEntry(h.m_WinInet_HttpAddRequestHeadersA)},
      {"HttpEndRequestA", AsEntry(h.m_WinInet_HttpEndRequestA)},
      {"HttpOpenRequestA", AsEntry(h.m_WinInet_HttpOpenRequestA)},
      {"HttpQueryInfoA", AsEntry(h.m_WinInet_HttpQueryInfoA)},
      {"HttpSendRequestA", AsEntry(h.m_WinInet_HttpSendRequestA)},
      {"HttpSendRequestExA", AsEntry(h.m_WinInet_HttpSendRequestExA)},
      {"InternetCanonicalizeUrlA", AsEntry(h.m_WinInet_InternetCanonicalizeUrlA)},
      {"InternetCrackUrlA", AsEntry(h.m_WinInet_InternetCrackUrl)},
      {"InternetCreateUrlA", AsEntry(h.m_WinInet_InternetCreateUrlA)},
      {"InternetCloseHandle", AsEntry(h.m_WinInet_InternetCloseHandle)},
      {"InternetConnectA", AsEntry(h.m_WinInet_InternetConnectA)},
      {"InternetErrorDlg", AsEntry(h.m_WinInet_InternetErrorDlg)},
      {"InternetGetCookieA", AsEntry(h.m_WinInet_InternetGetCookieA)},
      {"InternetGetCookieExA", AsEntry(h.m_WinInet_InternetGetCookieExA)},
      {"", AsEntry(h.m_WinInet_InternetGetProxyInfo)},
      {"InternetGetLastResponseInfoA", AsEntry(h.m_WinInet_InternetGetLastResponseInfoA)},
      {"InternetInitializeAutoProxyDll", AsEntry(h.m_WinInet_InternetInitializeAutoProxyDll)},
      {"InternetOpenA", AsEntry(h.m_WinInet_InternetOpenA)},
      {"InternetQueryDataAvailable", AsEntry(h.m_WinInet_InternetQueryDataAvailable)},
      {"InternetQueryOptionA", AsEntry(h.m_WinInet_InternetQueryOptionA)},
      {"InternetReadFile", AsEntry(h.m_WinInet_InternetReadFile)},
      {"InternetReadFileExA", AsEntry(h.m_WinInet_InternetReadFileExA)},
      {"InternetSetCookieA", AsEntry(h.m_WinInet_InternetSetCookieA)},
      {"InternetSetOptionA", AsEntry(h.m_WinInet_InternetSetOptionA)},
      {"InternetSetStatusCallbackA", AsEntry(h.m_WinInet_InternetSetStatusCallbackA)},
      {"InternetStatusCallbackA", AsEntry(h.m_WinInet_InternetStatusCallbackA)},
      {"InternetWriteFile", AsEntry(h.m_WinInet_InternetWriteFile)},
  };
}

// A module's file, and a path to compare it with, in the system's spelling
// (Windows names its folders with backslashes).
std::string ModuleFile(HMODULE hModule) {
  char szPath[1024] = "";
  GetModuleFileNameA(hModule, szPath, sizeof szPath);
  return szPath;
}
std::string Spelled(const std::string &path) { return std::filesystem::path(path).make_preferred().string(); }

TEST(LibraryBinding, EveryExportIsBoundFromTheChosenFolder) {
  zemtest::WinInetDouble wininet;
  ASSERT_TRUE(wininet.ok());
  CZemHttp http(0, 0, 0, 1);  // the WinHTTP choice leaves the table unbound
  // Whatever the lookup entry held, binding sets it to null.
  http.m_WinInet_InternetGetProxyInfo = reinterpret_cast<pfnInternetGetProxyInfo>(AsEntry(&ModuleFile));

  ASSERT_EQ(http.SetModulePath(wininet.folder().c_str()), 1);
  ASSERT_EQ(http.LoadWinInet(), 1);
  EXPECT_EQ(ModuleFile(http.hWinInet), Spelled(wininet.path()));
  EXPECT_EQ(http.CheckSystemAvailable(), 1);

  const auto table = Table(http);
  ASSERT_EQ(table.size(), 28u);
  for (size_t i = 0; i < table.size(); ++i) {
    const std::string &name = table[i].first;
    if (name.empty()) {
      EXPECT_EQ(table[i].second, nullptr) << "slot " << i + 1 << " is not bound from this library";
      continue;
    }
    Entry expected = reinterpret_cast<Entry>(GetProcAddress(wininet.module(), name.c_str()));
    ASSERT_NE(expected, nullptr) << "the double lacks " << name;
    EXPECT_EQ(table[i].second, expected) << "slot " << i + 1 << " must hold the double's " << name;
  }
}

TEST(LibraryBinding, DefaultObjectBindsThePlatformsLibraryAndItsMessages) {
  HMODULE hProbe = LoadLibraryA("WININET.DLL");
  ASSERT_NE(hProbe, nullptr) << "WININET.DLL could not be loaded (it is always built): error " << GetLastError();
  FreeLibrary(hProbe);

  CZemHttp http;
  EXPECT_EQ(http.CheckSystemAvailable(), 1) << http.szLastError;
  for (const auto &entry : Table(http)) {
#ifdef _WIN32
    // The system's library exports no function of that name: the slot is
    // typed as the status callback.
    if (entry.first == "InternetStatusCallbackA") continue;
#endif
    if (!entry.first.empty()) {
      EXPECT_NE(entry.second, nullptr) << entry.first;
    }
  }
  // The library's own message for one of its codes reaches the report.
  SysReportError(1, "marker");
  http.SetError(ERROR_INTERNET_CANNOT_CONNECT, "x %d", 0);
  EXPECT_EQ(http.GetLastInternetError(), 12029u);
  char szText[512] = "";
  EXPECT_EQ(SysGetReportedError(szText, sizeof szText), 12029u);
  EXPECT_STRNE(szText, "");
}

TEST(LibraryBinding, LongModulePathIsCutTo246CharactersBeforeTheName) {
  zemtest::TempDir dir;
  // A folder whose path is exactly 246 characters long holds the library;
  // the module path runs on past it to 300 characters.
  std::string folder = dir.path();
  while (folder.size() < 246) {
    const size_t nRoom = 246 - folder.size() - 1;
    if (nRoom == 0) {
      folder += "d";  // a one-character name ends the path at 246
      break;
    }
    folder += "/" + std::string(std::min<size_t>(nRoom, 100), 'd');
  }
  ASSERT_EQ(folder.size(), 246u);
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(ZEM_TEST_DOUBLE_PATH, folder + "/WININET.DLL");
  std::string longPath = folder + "x" + std::string(300 - 247, 'y');
  ASSERT_EQ(longPath.size(), 300u);

  CZemHttp http(0, 0, 0, 1);
  ASSERT_EQ(http.SetModulePath(longPath.c_str()), 1);
  ASSERT_EQ(http.LoadWinInet(), 1) << http.szLastError;
  EXPECT_EQ(ModuleFile(http.hWinInet), Spelled(folder + "/WININET.DLL"));
}

// A folder without the library, and one whose WININET.DLL is no library.
TEST(LibraryBinding, MissingOrUnloadableLibraryIsRecordedAndTheObjectStaysUsable) {
  for (const bool bPresent : {false, true}) {
    zemtest::TempDir folder;
    if (bPresent) folder.write("WININET.DLL", "not a loadable library");
    CZemHttp http(0, 0, 0, 1);
    http.EnableLogging(20, 20, 0);
    ASSERT_EQ(http.SetModulePath(folder.path().c_str()), 1);
    EXPECT_EQ(http.LoadWinInet(), 0);
    EXPECT_EQ(http.hWinInet, nullptr);
    EXPECT_EQ(http.GetLastOSError(), static_cast<DWORD>(bPresent ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND));
    EXPECT_STREQ(http.szLastError, bPresent ? "CZemHttp::LoadWinInet OS exception error#: 193"
                                            : "CZemHttp::LoadWinInet OS exception error#: 126");
    EXPECT_EQ(http.CheckSystemAvailable(), 0);
    EXPECT_EQ(http.m_WinInet_InternetOpenA, nullptr);
    // Logging and errors go on working.
    EXPECT_EQ(http.LogAddLine("still logging"), 1);
    http.SetError(5, "still recording %d", 0);
    EXPECT_STREQ(http.szLastError, "still recording 5");
  }
}

TEST(LibraryBinding, WinHttpChoiceBindsNothing) {
  {
    CZemHttp http(1, 2, 3, 1);
#ifdef _WIN32
    // The system has a WINHTTP.DLL of its own: loaded, nothing bound.
    EXPECT_NE(http.hWinInet, nullptr) << http.szLastError;
    for (const auto &entry : Table(http)) EXPECT_EQ(entry.second, nullptr) << entry.first;
#else
    EXPECT_EQ(http.hWinInet, nullptr) << "no WINHTTP.DLL is provided on this platform";
    EXPECT_STREQ(http.szLastError, "CZemHttp::LoadWinHttp OS exception error#: 126");
#endif
    EXPECT_EQ(http.CheckSystemAvailable(), 0);
  }
  // Found in the current folder, the library is loaded but still nothing is
  // bound from it.
  zemtest::TempDir folder;
  folder.copy_in(ZEM_TEST_DOUBLE_PATH, "WINHTTP.DLL");
  std::unique_ptr<zemtest::CurrentFolder> here = std::make_unique<zemtest::CurrentFolder>(folder.path());
  {
    CZemHttp http(1, 2, 3, 1);
    here.reset();
    EXPECT_NE(http.hWinInet, nullptr) << http.szLastError;
    EXPECT_EQ(http.CheckSystemAvailable(), 0);
    for (const auto &entry : Table(http)) EXPECT_EQ(entry.second, nullptr) << entry.first;
  }
}

}  // namespace
