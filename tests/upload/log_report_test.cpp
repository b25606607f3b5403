// The "ScLogs.TXT" report: its layout byte for byte after a real run, the
// appended second report, and the date and time lines.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "loopback_servers.h"
#include "temp_dir.h"
#include "upload_test_util.h"

namespace {

using uploadtest::Task;
using zemtest::Reply;

constexpr DWORD kEverythingButDateAndTime = SC_LOG_ALL & ~static_cast<DWORD>(SC_LOG_DATE | SC_LOG_TIME);

std::string Hex(const void *h) {
  char sz[32];
  std::snprintf(sz, sizeof sz, "%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h)));
  return sz;
}

const std::string kTitle = std::string(22, ' ') + "ZEM Data Services" + std::string(21, ' ') + "\r\n\r\n";
const char kRuler[] =
    "Byte          +10       +20       +30       +40       +50\r\n"
    "offset ---------|---------|---------|---------|---------|\r\n\r\n";

TEST(LogReport, ReportOfARunIsWrittenByteForByteAndAppended) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  // 50 bytes: one full row.
  const std::string answer = "OK|answer with a tab\there and a new line\nend......";
  ASSERT_EQ(50u, answer.size());
  server.Answer("/inquiry", Reply::Ok(answer));
  // 120 bytes with control characters: rows at 0, 50 and 100, the last one
  // showing 20 bytes and 30 "_".
  const std::string data = std::string("id=42&name=Ann\r\nqrstuvwxyzabcdefghijklmnopqrstuvwx") +
                           "yzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuv" + "wxyzabcdefghijklmno\x01";
  ASSERT_EQ(120u, data.size());
  Task task(31, data);
  ASSERT_TRUE(task.created);
  task.AimAt(server.port());
  ASSERT_EQ(1, ScraRunCompany(task.doc));
  ASSERT_EQ(answer, task.Answer());

  zemtest::TempDir dir;
  const std::string path = dir.file("report.txt");
  ASSERT_EQ(1, ScraWriteLogs(task.doc, kEverythingButDateAndTime, path.c_str()));
  const REQUEST_CONTEXT *ctx = task.ctx();

  std::string expected = kTitle + "Connection Paramters(for last connection made):\r\n\r\n";
  expected += "-- Document Number = 31 \r\n";
  expected += "-- Internet handle = " + Hex(ctx->hInternet) + " \r\n";
  expected += "-- Connect handle = " + Hex(ctx->hConnect) + " \r\n";
  expected += "-- Request handle = " + Hex(ctx->hRequest) + " \r\n";
  expected += "-- Window handle = ffffffffffffffff \r\n";
  expected += "-- Http verb = POST \r\n";
  expected += "-- Http version = HTTP/1.1 \r\n";
  expected += "-- Http HostName = 127.0.0.1 \r\n";
  expected += "-- Http AppName = /inquiry \r\n";
  expected += "-- Http request-headers(0) = HOST: 127.0.0.1 \r\n";
  expected += "-- Http request-headers(1) = Content-Type: application/x-www-form-urlencoded \r\n";
  expected += "-- Internet Port Number = " + std::to_string(server.port()) + " \r\n";
  expected += "-- Internet Service = 3 \r\n";
  expected += "-- Internet Connect Flags = 0 \r\n";
  expected += "-- Http Request Flags = 4403000 \r\n";
  expected += "\r\n\r\n";
  expected += "Status Log:\r\n\r\n";
  for (const std::string &line : uploadtest::StatusLines(task.doc)) expected += line + "\r\n";
  expected += "End status log\r\n";
  expected += "\r\nLast HTTP Prefill Upload Header:\r\n";
  ASSERT_NE(nullptr, uploadtest::Field(ctx->pvRespHeaders));
  const std::string header(ctx->pvRespHeaders, ctx->cbRespHeaders);
  EXPECT_EQ(0u, header.find("HTTP/1.1 200 OK\r\n")) << header;
  expected += header + "\r\n\r\n";
  expected += "-- Request Data Sent, comprises 120 bytes \r\n\r\n";
  expected += kRuler;
  expected += "0      id=42&name=Ann__qrstuvwxyzabcdefghijklmnopqrstuvwx\r\n";
  expected += "50     yzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuv\r\n";
  expected += "100    wxyzabcdefghijklmno_" + std::string(30, '_') + "\r\n";
  expected += "\r\n\r\n";
  expected += "-- Prefill Response Data received, comprises 50 bytes \r\n\r\n";
  expected += kRuler;
  expected += "0      OK|answer with a tab_here and a new line_end......\r\n";
  expected += "\r\n\r\n";
  expected += "   <NO DATA>\r\n\r\n";  // no trace header
  EXPECT_EQ(expected, zemtest::read_file(path));

  ASSERT_EQ(1, ScraWriteLogs(task.doc, kEverythingButDateAndTime, path.c_str()));
  EXPECT_EQ(expected + expected, zemtest::read_file(path)) << "a second report is appended to the first";
}

TEST(LogReport, DateAndTimeLinesAndEmptySections) {
  Task task(32, "x");
  ASSERT_TRUE(task.created);
  zemtest::TempDir dir;
  // Digits of the date and time are compared as "9".
  struct Case {
    DWORD flags;
    std::string shape;
  };
  const Case cases[] = {
      {SC_LOG_TITLE | SC_LOG_DATE, kTitle + std::string(51, ' ') + "99/99/99 \r\n\r\n"},
      {SC_LOG_TITLE | SC_LOG_DATE | SC_LOG_TIME, kTitle + "99/99/99" + std::string(44, ' ') + "99:99:99\r\n\r\n"},
      {SC_LOG_TIME, std::string(52, ' ') + "99:99:99\r\n\r\n"},
      // Without the dump flags the request and response count as empty; no
      // trace header came.
      {SC_LOG_DUMPS, "   <NO DATA>\r\n\r\n   <NO DATA>\r\n\r\n   <NO DATA>\r\n\r\n"},
  };
  for (const Case &c : cases) {
    const std::string path = dir.file("flags" + std::to_string(c.flags) + ".txt");
    ASSERT_EQ(1, ScraWriteLogs(task.doc, c.flags, path.c_str()));
    std::string text = zemtest::read_file(path);
    for (char &ch : text) {
      if (ch >= '0' && ch <= '9') ch = '9';
    }
    EXPECT_EQ(c.shape, text) << "flags " << std::hex << c.flags;
  }

  // Without a path the report goes to "ScLogs.TXT" in the current folder;
  // an empty or unreadable path is tried as it is, and writes nothing.
  char szCwd[4096];
  ASSERT_NE(nullptr, getcwd(szCwd, sizeof szCwd));
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  EXPECT_EQ(1, ScraWriteLogs(task.doc, SC_LOG_STATUS, ""));
  EXPECT_EQ(1, ScraWriteLogs(task.doc, SC_LOG_STATUS, reinterpret_cast<const char *>(0x7FFF00000000)));
  const bool bWrittenWithoutPath = access("ScLogs.TXT", F_OK) == 0;
  EXPECT_EQ(1, ScraWriteLogs(task.doc, SC_LOG_STATUS, nullptr));
  ASSERT_EQ(0, chdir(szCwd));
  EXPECT_FALSE(bWrittenWithoutPath) << "an empty or unreadable path fell back to the default file";
  EXPECT_EQ(0u, zemtest::read_file(dir.file("ScLogs.TXT")).find("Status Log:\r\n\r\n-- Success\r\n"));

  EXPECT_EQ(0, ScraWriteLogs(999, SC_LOG_ALL, dir.file("none.txt").c_str())) << "an unknown task";
  EXPECT_EQ(1, ScraWriteLogs(task.doc, SC_LOG_ALL, dir.file("no/such/folder/x.txt").c_str()))
      << "a file that cannot be made is skipped";
}

}  // namespace
