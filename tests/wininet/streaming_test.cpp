// Bodies larger than any buffer stream through with bounded memory, and
// connections are kept in the session's pool: requests reuse them across
// request and connection handles.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <chrono>
#include <string>
#include <thread>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::Handle;
using wintest::OpenRequest;
using zemtest::Reply;

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  return text;
}

class Streaming : public wintest::ServedTest {};

TEST_F(Streaming, ALargeBodyIsHeldOnlyAMegabyteAtATime) {
  zemtest::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const size_t size = 48u * 1024 * 1024;
  const std::string content = Pattern(size);
  nginx.WriteFile("large.bin", content);
  OpenRequest r(nginx.http_port(), "GET", "/large.bin");
  ASSERT_TRUE(r.Send());
  // Give the server every chance to push more than the layer should hold.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  DWORD available = 0;
  ASSERT_TRUE(InternetQueryDataAvailable(r.request, &available, 0, 0));
  EXPECT_LE(available, 1024u * 1024 + 64 * 1024) << "the layer kept reading while nobody read from it";
  EXPECT_GT(available, 0u);

  std::string buffer(256 * 1024, '\0');
  size_t total = 0;
  bool same = true;
  for (;;) {
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(r.request, buffer.data(), static_cast<DWORD>(buffer.size()), &read))
        << "after " << total << " bytes: " << GetLastError();
    if (read == 0) break;
    same = same && content.compare(total, read, buffer, 0, read) == 0;
    total += read;
  }
  EXPECT_EQ(size, total);
  EXPECT_TRUE(same) << "the bytes differ from the file's";
}

// A read into memory that cannot be written fails, and the bytes it would
// have taken are still there for the next read.
TEST_F(Streaming, AReadIntoUnwritableMemoryFailsAndLosesNothing) {
  const std::string content = Pattern(40 * 1024);
  server.Answer("*", Reply::Ok(content));
  OpenRequest r(server.port(), "GET", "/body");
  ASSERT_TRUE(r.Send());
  DWORD available = 0;
  ASSERT_TRUE(InternetQueryDataAvailable(r.request, &available, 0, 0));

  const size_t page = 4096;
  void *mapped = mmap(nullptr, 2 * page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  char *read_only = static_cast<char *>(mapped);
  ASSERT_EQ(mprotect(read_only + page, page, PROT_NONE), 0);
  DWORD read = 7;
  // A short fill, then one long enough to be checked at its ends only.
  EXPECT_FALSE(InternetReadFile(r.request, read_only, 100, &read));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOACCESS), GetLastError());
  EXPECT_EQ(0u, read);
  EXPECT_FALSE(InternetReadFile(r.request, read_only + page, 40 * 1024, &read));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOACCESS), GetLastError());
  munmap(read_only, 2 * page);

  std::string body, buffer(8 * 1024, '\0');
  while (InternetReadFile(r.request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read > 0) {
    body.append(buffer, 0, read);
  }
  EXPECT_TRUE(body == content) << "got " << body.size() << " of " << content.size() << " bytes";
}

TEST_F(Streaming, ConnectionsOutliveTheConnectionHandlesThatOpenedThem) {
  server.Answer("*", Reply::Ok("kept"));
  Handle session(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  for (int i = 0; i < 3; ++i) {
    // A new connection handle each time, as the client makes after every new URL.
    Handle connection(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(server.port()), nullptr,
                                       nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    for (int j = 0; j < 2; ++j) {
      Handle request(HttpOpenRequestA(connection, "GET", "/", nullptr, nullptr, nullptr, 0, 0));
      ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
      EXPECT_EQ("kept", wintest::ReadBody(request));
    }
  }
  EXPECT_EQ(1, server.ConnectionCount()) << "six requests should share one connection";

  OpenRequest other(server.port(), "GET", "/");
  ASSERT_TRUE(other.Send());
  wintest::ReadBody(other.request);
  EXPECT_EQ(2, server.ConnectionCount()) << "another session has a pool of its own";
}

TEST_F(Streaming, SendingAgainOnTheSameHandleStartsAfresh) {
  server.Enqueue("/again", Reply::Status(503, "busy, the first answer's body"));
  server.Answer("/again", Reply::Ok("second answer"));
  OpenRequest r(server.port(), "POST", "/again");
  ASSERT_TRUE(r.Send("one"));
  EXPECT_EQ(503u, wintest::StatusCode(r.request));
  ASSERT_TRUE(r.Send("two")) << "the first answer's unread body is left behind";
  EXPECT_EQ(200u, wintest::StatusCode(r.request));
  EXPECT_EQ("second answer", wintest::ReadBody(r.request));
  auto got = server.Received();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("two", got[1].body);
}

}  // namespace
