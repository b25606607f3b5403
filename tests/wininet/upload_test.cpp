// Bodies written piece by piece (HttpSendRequestExA, InternetWriteFile,
// HttpEndRequestA), framed by their announced size or chunked without one,
// and answers read with InternetReadFileExA.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <string>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::OpenRequest;
using zemtest::Reply;

INTERNET_BUFFERSA Buffers(const std::string &data, DWORD total, const char *headers = nullptr) {
  INTERNET_BUFFERSA buffers{};
  buffers.dwStructSize = sizeof buffers;
  buffers.lpcszHeader = headers;
  buffers.dwHeadersLength = headers != nullptr ? static_cast<DWORD>(-1) : 0;
  buffers.lpvBuffer = const_cast<char *>(data.data());
  buffers.dwBufferLength = static_cast<DWORD>(data.size());
  buffers.dwBufferTotal = total;
  return buffers;
}

bool Write(HINTERNET request, const std::string &data) {
  DWORD written = 0;
  return InternetWriteFile(request, data.data(), static_cast<DWORD>(data.size()), &written) &&
         written == data.size();
}

class Upload : public wintest::ServedTest {};

TEST_F(Upload, APieceByPieceBodyArrivesWhole) {
  server.Answer("*", Reply::Status(201, "stored"));
  const std::string big(3 * 1024 * 1024 + 17, 'q');
  struct Case {
    const char *name;
    DWORD total;  // announced size, 0 for none
    bool chunked;
  };
  for (const Case &c : {Case{"announced", static_cast<DWORD>(5 + big.size() + 4), false}, Case{"unannounced", 0, true}}) {
    server.ClearReceived();
    OpenRequest r(server.port(), "PUT", "/file");
    const std::string first = "first";
    INTERNET_BUFFERSA in = Buffers(first, c.total, "X-Upload: yes\r\n");
    ASSERT_TRUE(HttpSendRequestExA(r.request, &in, nullptr, 0, 0)) << c.name << ": " << GetLastError();
    ASSERT_TRUE(Write(r.request, big)) << c.name << ": " << GetLastError();
    ASSERT_TRUE(Write(r.request, "last")) << c.name;
    ASSERT_TRUE(HttpEndRequestA(r.request, nullptr, 0, 0)) << c.name << ": " << GetLastError();
    EXPECT_EQ(201u, wintest::StatusCode(r.request)) << c.name;
    EXPECT_EQ("stored", wintest::ReadBody(r.request)) << c.name;
    const auto got = server.Received().at(0);
    const std::string expected = "first" + big + "last";
    EXPECT_EQ(expected.size(), got.body.size()) << c.name;
    EXPECT_TRUE(expected == got.body) << c.name << ": the body arrived changed";
    EXPECT_EQ(c.chunked, got.chunked) << c.name;
    EXPECT_EQ(c.chunked ? "" : std::to_string(c.total), got.Header("Content-Length")) << c.name;
    EXPECT_EQ("yes", got.Header("X-Upload")) << c.name;
    EXPECT_EQ(0u, got.HeaderCount("Expect")) << c.name;
  }
}

// A synchronous send lends the body only while it runs. The server answers
// as soon as the request's head is in, so the send returns with most of a
// large body unsent, and the caller unmaps it at once: the rest still goes
// out, whole, and nothing reads the unmapped pages.
TEST_F(Upload, TheBodyMayBeFreedOnceTheSendReturns) {
  server.Answer("*", Reply::Ok("early").BeforeBody());
  const size_t size = 16u * 1024 * 1024;
  void *mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 23);
  memcpy(mapped, body.data(), size);

  OpenRequest r(server.port(), "POST", "/upload");
  const BOOL sent = HttpSendRequestA(r.request, nullptr, 0, mapped, static_cast<DWORD>(size));
  munmap(mapped, size);
  ASSERT_TRUE(sent) << GetLastError();
  EXPECT_EQ("early", wintest::ReadBody(r.request));
  const auto got = server.Received();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(size, got[0].body.size());
  EXPECT_TRUE(got[0].body == body) << "the body arrived changed";
}

TEST_F(Upload, WritingOutOfOrderIsRefused) {
  server.Answer("*", Reply::Ok("x"));
  OpenRequest r(server.port(), "POST", "/");
  EXPECT_FALSE(Write(r.request, "early"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE), GetLastError());
  EXPECT_FALSE(HttpEndRequestA(r.request, nullptr, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE), GetLastError());
  const std::string none;
  INTERNET_BUFFERSA in = Buffers(none, 2);
  in.dwStructSize = 40;  // the 32-bit layout
  EXPECT_FALSE(HttpSendRequestExA(r.request, &in, nullptr, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  in.dwStructSize = sizeof in;
  ASSERT_TRUE(HttpSendRequestExA(r.request, &in, nullptr, 0, 0));
  ASSERT_TRUE(Write(r.request, "ok"));
  ASSERT_TRUE(HttpEndRequestA(r.request, nullptr, 0, 0));
  EXPECT_FALSE(HttpEndRequestA(r.request, nullptr, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE), GetLastError());
  EXPECT_EQ("ok", server.Received().at(0).body);
}

TEST_F(Upload, ReadFileExFillsOrTakesWhatHasArrived) {
  server.Answer("*", Reply::Ok(std::string(10000, 'e')));
  OpenRequest r(server.port(), "GET", "/");
  ASSERT_TRUE(r.Send());
  std::string buffer(20000, '\0');
  INTERNET_BUFFERSA out{};
  out.dwStructSize = sizeof out;
  out.lpvBuffer = buffer.data();
  out.dwBufferLength = 4000;
  ASSERT_TRUE(InternetReadFileExA(r.request, &out, 0, 0));
  EXPECT_EQ(4000u, out.dwBufferLength) << "without IRF_NO_WAIT the buffer is filled";
  DWORD available = 0;
  ASSERT_TRUE(InternetQueryDataAvailable(r.request, &available, 0, 0));
  out.dwBufferLength = 20000;
  ASSERT_TRUE(InternetReadFileExA(r.request, &out, IRF_NO_WAIT, 0));
  EXPECT_GE(out.dwBufferLength, available) << "IRF_NO_WAIT takes at least what was reported available";
  EXPECT_LE(out.dwBufferLength, 6000u);
  EXPECT_EQ(std::string(out.dwBufferLength, 'e'), buffer.substr(0, out.dwBufferLength));
}

}  // namespace
