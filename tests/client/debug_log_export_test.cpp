// The debug log file: its layout byte for byte, appending, the dump format,
// when nothing is written, and an export after a real run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "temp_dir.h"
#include "tests/client/transport_test_util.h"

namespace {

using zemtest::read_file;

// A block holding exactly these bytes, for the data fields.
void *Block(const std::string &bytes) {
  void *pv = nullptr;
  ZemMemAlloc(&pv, static_cast<DWORD>(bytes.size()));
  std::memcpy(pv, bytes.data(), bytes.size());
  return pv;
}

// The date and time lines with their texts replaced by "D" and "T".
std::string Timeless(std::string text) {
  for (const auto &[label, stand_in] : {std::pair<std::string, std::string>{"Date: ", "D"}, {"Time: ", "T"}}) {
    for (size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1)) {
      const size_t start = at + label.size();
      text.replace(start, text.find(' ', start) - start, stand_in);
    }
  }
  return text;
}

const char kRuler[] = "---------|---------|---------|---------|---------|\r\n";

class DebugLog : public zemtest::LoggingClient {
 protected:
  zemtest::TempDir dir;
};

TEST_F(DebugLog, ExportLayoutIsExactAndAppends) {
  http.DeleteLogLines();
  http.EnableLogging(10, 10, 0);
  http.SetConnectionID(7, 8, 9, "Branch office");
  http.SetQueryData("q=1");
  http.pvRequest = Block("a\tb");
  http.cbRequest = 3;
  std::string response;
  for (int i = 0; i < 120; ++i) response += static_cast<char>("az {|}~\x7F\xFF\t"[i % 10]);
  http.pvResponse = Block(response);
  http.cbResponse = 120;
  SysStrAssign(&http.pvResponseHeaders, "H: v\r\n");
  http.cbResponseHeaders = 6;
  const std::string file = dir.file("HttpLog.TXT");
  ASSERT_EQ(http.GetDebugLog(file.c_str(), ZEMHTTP_LOG_ALL), 1);
  ASSERT_EQ(http.GetDebugLog(file.c_str(), ZEMHTTP_LOG_CONNECTION | ZEMHTTP_LOG_LINES), 1);

  const std::string responseLine = "az _______az _______az _______az _______az _______";
  const std::string lines =
      "\r\nHttp service log has 3 lines:\r\n\r\n"
      "-- CZemHttp::SetConnectionID( Doc=7, Cump=8, Sckt=9, name=Branch office )\r\n"
      "-- CZemHttp::SetQueryData()\r\n"
      "-- CZemHttp::SetQueryData() - Data set\r\n\r\n\r\n";
  const std::string header =
      "\r\n\r\nConnection Name=Branch office \r\n"
      "Document = 7, Company ID = 8, Connection Number = 9 \r\n\r\n";
  const std::string expected =
      header + "Date: D \r\nTime: T \r\n" + lines +
      "\r\nHttp QueryString contains 3 characters:\r\n\r\n" + kRuler + "q=1" + std::string(47, ' ') + "\r\n\r\n" +
      "\r\nHttp Request contains 3 characters:\r\n\r\n" + kRuler + "a_b" + std::string(47, ' ') + "\r\n\r\n" +
      "\r\nHttp Response contains 120 characters:\r\n\r\n" + kRuler + responseLine + "\r\n" + responseLine +
      "\r\n" + responseLine.substr(0, 20) + std::string(30, ' ') + "\r\n\r\n" +
      "\r\nHttp Response Headers contains 6 characters:\r\n\r\n" + kRuler + "H: v__" + std::string(44, ' ') +
      "\r\n\r\n" + header + lines;
  EXPECT_EQ(Timeless(read_file(file)), expected);
}

TEST_F(DebugLog, NothingIsWrittenWithoutLinesOrFlags) {
  zemtest::CurrentFolder here(dir.path());
  EXPECT_EQ(http.GetDebugLog(nullptr, 0), 0) << "no flags";
  http.DeleteLogLines();
  EXPECT_EQ(http.GetDebugLog(nullptr, ZEMHTTP_LOG_ALL), 0) << "no lines";
  EXPECT_EQ(read_file(dir.file("HttpLog.TXT")), "") << "no file made";
  EXPECT_EQ(http.GetDebugLog(zemtest::UnreadableAddress(), ZEMHTTP_LOG_ALL), 0);
}

TEST_F(DebugLog, HeaderNamesTheConnectionOrSaysItIsUnnamed) {
  zemtest::CurrentFolder here(dir.path());
  http.LogAddLine("one line");
  ASSERT_EQ(http.GetDebugLog("", ZEMHTTP_LOG_CONNECTION), 1) << "an empty name means HttpLog.TXT";
  EXPECT_EQ(read_file(dir.file("HttpLog.TXT")),
            "\r\n\r\nConnection Name=<CONNECTION NOT NAMED> \r\n"
            "Document = 0, Company ID = 0, Connection Number = 0 \r\n\r\n");
  const std::string sixty(60, 'n');
  EXPECT_EQ(http.SetConnectionID(1, 2, 3, sixty.c_str()), 1);
  EXPECT_EQ(std::string(http.szConnectionName), sixty.substr(0, 39));
  EXPECT_EQ(http.SetConnectionID(4, 5, 6, nullptr), 1);
  EXPECT_EQ(std::string(http.szConnectionName), sixty.substr(0, 39)) << "a null name keeps the one held";
  EXPECT_EQ(http.uConnection, 6u);
}

TEST_F(DebugLog, DumpWriterTakesOpenFilesOnly) {
  int hFile = 0;
  ASSERT_EQ(SysFileCreate(&hFile, dir.file("dump.txt").c_str(), 0), 0u);
  EXPECT_EQ(http.FormatLogData(hFile, "0123456789ABC", 13, 10), 13);
  EXPECT_EQ(http.FormatLogData(hFile, "x", 0, 0), 0);
  EXPECT_EQ(http.FormatLogData(hFile, zemtest::UnreadableAddress(), 5, 0), 0);
  SysFileClose(&hFile);
  EXPECT_EQ(read_file(dir.file("dump.txt")),
            std::string("---------|\r\n0123456789\r\nABC       \r\n\r\n") + kRuler + "\r\n");
  EXPECT_EQ(http.FormatLogData(0, "x", 1, 0), 0);
}

class DebugLogOfARun : public zemtest::RealClient {};

TEST_F(DebugLogOfARun, HoldsItsLinesAndData) {
  server.Answer("/d", zemtest::Reply::Ok("hello"));
  ASSERT_EQ(http.Get(Url("/d").c_str(), "k=v"), 1);
  zemtest::TempDir dir;
  ASSERT_EQ(http.GetDebugLog(dir.file("run.txt").c_str(), ZEMHTTP_LOG_LINES | ZEMHTTP_LOG_DATA), 1);
  const std::string text = read_file(dir.file("run.txt"));
  EXPECT_NE(text.find("-- CZemHttp::Get() - SUCCEEDED\r\n"), std::string::npos);
  EXPECT_NE(text.find("Http QueryString contains 3 characters:\r\n\r\n" + std::string(kRuler) + "k=v "),
            std::string::npos);
  EXPECT_NE(text.find("Http Response contains 5 characters:\r\n\r\n" + std::string(kRuler) + "hello "),
            std::string::npos);
  EXPECT_EQ(text.find("Http Request contains"), std::string::npos) << "no body was sent";
  EXPECT_NE(text.find("Http Response Headers contains " + std::to_string(http.cbResponseHeaders)), std::string::npos);
}

}  // namespace
