// Tests that need something Wine does not provide (an option its internet
// library lacks or treats otherwise, a dialog, a service) are marked with
// ZEMTEST_NOT_UNDER_WINE(reason): under Wine they are skipped with the
// reason, so a Wine run counts them instead of hiding them. Anywhere else
// they run as usual. A row of a table that needs it is left out through
// WineRows, and the test then ends as skipped, naming the rows. A claim that
// holds on Linux alone is marked ZEMTEST_NOT_ON_WINDOWS(reason).
//
// The reasons are kept here, one per cause, so that the marks of one cause
// agree and the list of what Wine lacks is in one place.
#ifndef ZEM_TEST_UNDER_WINE_H
#define ZEM_TEST_UNDER_WINE_H

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace zemtest {

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// What Wine's internet library does otherwise, one text per cause.
namespace wine {
constexpr char kProxyListAtOpen[] =
    "its internet library opens a session with a proxy list it cannot read (the send fails later with 12007)";
constexpr char kRequestWithoutConnection[] =
    "its internet library reports a request opened without a connection as 12018, not 6";
constexpr char kTestCertificates[] =
    "its internet library checks certificates against its own store and their revocation: the test CA named by "
    "SSL_CERT_FILE does not reach it (12057)";
constexpr char kProxyAfterDirect[] =
    "its internet library sends a request that names a proxy over a kept-alive connection to the server itself "
    "when one is left from an earlier request";
constexpr char kClosingAfterPendingRead[] =
    "its internet library reports a handle's closing only once a read it still waits on has ended, which a stalled "
    "server delays past the run";
constexpr char kFailureErrors[] =
    "its internet library reports a server that stalls past the receive time-out, or closes without an answer, as "
    "12030 rather than 12002 or 12152";
constexpr char kLongHeaderLine[] =
    "its internet library cuts a response header line at about 4 KiB, so a longer one never comes whole";
constexpr char kReportTiming[] =
    "its internet library's status reports vary in number and order with its threads' timing (a repeated "
    "RECEIVING_RESPONSE and RESPONSE_RECEIVED, HANDLE_CLOSING after the run has ended)";
constexpr char kEmptyReplaceAdds[] =
    "its internet library adds \"Name:\" with HTTP_ADDREQ_FLAG_REPLACE as an empty header rather than removing it";
constexpr char kLengthOnEveryVerb[] =
    "its internet library sends Content-Length: 0 with every request but GET and HEAD that has no body";
}  // namespace wine

// What the system itself does otherwise than the Linux platform.
namespace windows {
constexpr char kBareProfileName[] =
    "the system's profile reader looks for a file name without a folder in the Windows folder, not the current one";
constexpr char kSystemFolderFirst[] =
    "the system's own jsproxy.dll is found before a file of that name in the current folder";
constexpr char kEnvironmentProxy[] =
    "the proxy taken from http_proxy, https_proxy and no_proxy is the Linux platform's convention";
}  // namespace windows

// The rows of a table test that need what Wine lacks: Runs tells whether a
// row runs, and records the ones left out; once the test is over it ends as
// skipped with their names and reasons (if nothing failed), so they are
// counted as the marked tests are.
class WineRows {
 public:
  WineRows() = default;
  WineRows(const WineRows &) = delete;
  WineRows &operator=(const WineRows &) = delete;
  ~WineRows() { Report(); }

  bool Runs(const std::string &row, const char *reason) {
    if (!UnderWine()) return true;
    left_out_ += (left_out_.empty() ? "" : "; ") + row + " (" + reason + ")";
    return false;
  }

 private:
  void Report() {
    if (!left_out_.empty()) GTEST_SKIP() << "rows not under Wine: " << left_out_;
  }
  std::string left_out_;
};

}  // namespace zemtest

#define ZEMTEST_NOT_UNDER_WINE(reason) \
  if (::zemtest::UnderWine()) GTEST_SKIP() << "not under Wine: " << (reason)

#ifdef _WIN32
#define ZEMTEST_NOT_ON_WINDOWS(reason) GTEST_SKIP() << "not on Windows: " << (reason)
#else
#define ZEMTEST_NOT_ON_WINDOWS(reason) static_cast<void>(0)
#endif

#endif
