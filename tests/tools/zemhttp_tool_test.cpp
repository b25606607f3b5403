// The zemhttp tool as a user runs it: the built program started with a
// command line, against servers on 127.0.0.1, judged by its exit status,
// standard output, standard error and the files it writes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "loopback_port.h"
#include "loopback_servers.h"
#include "temp_dir.h"
#include "tests/tools/tool_run.h"

namespace {

using zemtest::Reply;

using zemtest::RunTool;
using zemtest::ToolRun;

bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

bool EndsWith(const std::string &text, const std::string &end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A file of the source tree, found from this test's own path.
std::string SourceFile(const std::string &relative) {
  const std::string here = __FILE__;
  std::ifstream in(here.substr(0, here.rfind("/tests/tools/")) + "/" + relative);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The ways a request runs: the client's GET, and an upload task through the
// hidden window or on the tool's thread. Each is followed by the URL.
const std::vector<std::vector<std::string>> kRunModes = {
    {"get"}, {"upload", "-d", "name=Ann"}, {"upload", "-d", "name=Ann", "--sync"}};

std::vector<std::string> Line(const std::vector<std::string> &mode, const std::string &url,
                              const std::vector<std::string> &more = {}) {
  std::vector<std::string> line = mode;
  line.insert(line.begin() + 1, url);
  line.insert(line.end(), more.begin(), more.end());
  return line;
}

// A URL on a loopback port nobody listens on.
std::string ClosedUrl() { return "http://127.0.0.1:" + std::to_string(zemtest::FreeLoopbackPorts(1)[0]) + "/"; }

std::string Shown(const std::vector<std::string> &line) {
  std::string shown = "zemhttp";
  for (const std::string &word : line) shown += " " + word;
  return shown;
}

TEST(ZemhttpTool, UsageErrorsExitTwoAndSendNothing) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  const std::string url = server.Url("/a");
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"fetch", url},
      {"get"},
      {"get", url, "extra"},
      {"get", url, "--bogus"},
      {"get", url, "-o"},
      {"get", url, "-d", "body"},
      {"post", url, "-d", "a", "--data-file", "b"},
      {"get", url, "--timeout", "5s"},
      {"get", url, "--retries", "11"},
      {"get", url, "--max-time", "0"},
      {"get", url, "--max-filesize", "-1"},
      {"get", url, "-H", "NoColon"},
      {"get", url, "--proxy-bypass", "localhost"},
      {"get", "ftp://127.0.0.1/a"},
      {"status", "abc"},
      {"status", "404", "-i"},
      {"status", "404", "--ignore-cert-name"},
      {"upload", url},
      {"upload", url, "-d", "x", "--max-time", "3"},
      {"upload", url, "-d", "x", "--log"},
      {"upload", url, "-d", "x", "--timeout", "0"},
      {"upload", url, "-d", "x", "--timeout", "86401"},
      {"upload", url, "-d", "x", "-H", "A: 1", "-H", "B: 2", "-H", "C: 3", "-H", "D: 4", "-H", "E: 5", "-H", "F: 6",
       "-H", "G: 7", "-H", "H: 8", "-H", "I: 9"},
      {"get", url, "--sync"},
      {"post", url, "--report", "r.txt"},
  };
  for (const auto &line : lines) {
    ToolRun run = RunTool(line);
    EXPECT_EQ(2, run.exit_code) << Shown(line) << "\nstderr: " << run.err;
    EXPECT_EQ("", run.out) << Shown(line);
    EXPECT_TRUE(Contains(run.err, "zemhttp: ") && Contains(run.err, "--help\""))
        << Shown(line) << " should say what is wrong and where help is; stderr: " << run.err;
  }
  EXPECT_EQ(0u, server.RequestCount()) << "a usage error must not reach the network";
}

TEST(ZemhttpTool, HelpDocumentsSubcommandsOptionsAndExitCodes) {
  ToolRun help = RunTool({"--help"});
  EXPECT_EQ(0, help.exit_code);
  for (const char *part :
       {"get URL",      "post URL",    "put URL",     "delete URL",     "head URL",     "options URL",
        "trace URL",    "status CODE", "--header",    "--data-file",    "--output",     "--include",
        "--user",       "--timeout",   "--retries",   "--proxy-bypass", "--proxy-file", "--proxy-section",
        "--log[=FILE]", "HttpLog.TXT", "Exit status", "400 or above", "--max-time",   "--max-filesize",
        "upload URL",   "--sync",      "--report",    "--ignore-cert-name", "--ignore-cert-date", "--version"})
    EXPECT_TRUE(Contains(help.out, part)) << "--help should mention " << part;
  // A help request answers even on a line that is otherwise wrong.
  ToolRun put_help = RunTool({"put", "--bogus", "--help"});
  EXPECT_EQ(0, put_help.exit_code);
  EXPECT_EQ(0u, put_help.out.find("Usage: zemhttp put URL")) << put_help.out;

  // The version is the project's, as the build names it.
  std::smatch project;
  const std::string cmake = SourceFile("CMakeLists.txt");
  ASSERT_TRUE(std::regex_search(cmake, project, std::regex(R"(project\(zemhttp VERSION ([0-9.]+))")));
  for (const auto &line : std::vector<std::vector<std::string>>{{"--version"}, {"get", "--bogus", "--version"}}) {
    ToolRun version = RunTool(line);
    EXPECT_EQ(0, version.exit_code) << Shown(line);
    EXPECT_EQ("zemhttp " + project[1].str() + "\n", version.out) << Shown(line);
  }
}

// Every option and subcommand the help lists is in the manual page, and the
// manual page names no option the help does not: the two cannot drift apart.
TEST(ZemhttpTool, HelpAndManualPageNameTheSameOptions) {
  std::string manual = SourceFile("docs/zemhttp.1");
  ASSERT_FALSE(manual.empty()) << "docs/zemhttp.1 not found";
  for (const char *section : {".SH NAME", ".SH SYNOPSIS", ".SH DESCRIPTION", ".SH OPTIONS", ".SH EXIT STATUS",
                              ".SH ENVIRONMENT", ".SH FILES", ".SH EXAMPLES", "HttpLog.TXT", "ScLogs.TXT"})
    EXPECT_TRUE(Contains(manual, section)) << "the manual page lacks " << section;
  // As a reader sees it: roff's escaped hyphens and font changes undone.
  manual = std::regex_replace(manual, std::regex(R"(\\f[BIRP])"), "");
  manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
  const auto options_in = [](const std::string &text) {
    std::set<std::string> found;
    const std::regex option(R"((^|[\s(\[,|])(--?[A-Za-z][A-Za-z-]*))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
      found.insert((*it)[2].str());
    return found;
  };
  const std::string help = RunTool({"--help"}).out;
  EXPECT_EQ(options_in(help), options_in(manual)) << "options of --help (left) and of docs/zemhttp.1 (right)";
  for (const char *subcommand : {"get", "post", "put", "delete", "head", "options", "trace", "upload", "status"}) {
    EXPECT_TRUE(Contains(help, std::string("  ") + subcommand + " ")) << subcommand;
    EXPECT_TRUE(Contains(manual, std::string(".BI ") + subcommand + " ")) << "the manual page lacks " << subcommand;
  }
}

TEST(ZemhttpTool, AnswersPrintBodyAndStatusLineAndSetTheExitCode) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/ok", Reply::Ok("hello"));
  server.Answer("/missing", Reply::Status(404, "no such page"));
  server.Answer("/broken", Reply::Status(500, "oops"));
  struct Case {
    const char *path;
    int exit_code;
    const char *body;
    const char *status_line;
  } cases[] = {
      {"/ok", 0, "hello", "HTTP 200 Request completed\n"},
      {"/missing", 3, "no such page", "HTTP 404 Object Not Found\n"},
      {"/broken", 3, "oops", "HTTP 500 Internal server error\n"},
  };
  // An upload prints its task's status log first, then the status line.
  for (const auto &mode : kRunModes) {
    const bool upload = mode[0] == "upload";
    for (const Case &c : cases) {
      const std::vector<std::string> line = Line(mode, server.Url(c.path));
      SCOPED_TRACE(Shown(line));
      ToolRun run = RunTool(line);
      EXPECT_EQ(c.exit_code, run.exit_code) << "stderr: " << run.err;
      EXPECT_EQ(c.body, run.out);
      EXPECT_TRUE(upload ? EndsWith(run.err, std::string("\n") + c.status_line) : run.err == c.status_line) << run.err;
      EXPECT_TRUE(!upload || Contains(run.err, "-- Upload Host name set to 127.0.0.1\n")) << run.err;
    }

    const std::vector<std::string> line = Line(mode, ClosedUrl());
    ToolRun refused = RunTool(line);
    EXPECT_EQ(1, refused.exit_code) << Shown(line);
    EXPECT_EQ("", refused.out);
    const size_t said = refused.err.find("zemhttp: ");
    EXPECT_TRUE(upload ? said != std::string::npos : said == 0) << Shown(line) << "\nstderr: " << refused.err;
    EXPECT_GT(refused.err.size() - said, std::string("zemhttp: \n").size()) << "an error text should follow";
  }
}

TEST(ZemhttpTool, BodyAndHeadersGoWhereTheOptionsSay) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  const std::string binary("a\0b\r\n\xff\x7f end", 12);
  server.Answer("/bin", Reply::Ok(binary, "application/octet-stream").Header("X-Zem-Test: yes"));
  zemtest::TempDir folder;

  ToolRun to_file = RunTool({"get", server.Url("/bin"), "-o", "saved.bin"}, folder.path());
  EXPECT_EQ(0, to_file.exit_code) << to_file.err;
  EXPECT_EQ("", to_file.out);
  EXPECT_EQ(binary, zemtest::read_file(folder.file("saved.bin"))) << "the file must hold the body byte for byte";

  ToolRun included = RunTool({"get", server.Url("/bin"), "-i"});
  EXPECT_EQ(0u, included.out.find("HTTP/1.1 200 OK\r\n")) << included.out;
  EXPECT_TRUE(Contains(included.out, "X-Zem-Test: yes\r\n"));
  EXPECT_TRUE(Contains(included.out, "\r\n\r\n" + binary)) << "headers, a blank line, then the body";

  ToolRun unwritable = RunTool({"get", server.Url("/bin"), "-o", "no-such-folder/saved.bin"}, folder.path());
  EXPECT_EQ(1, unwritable.exit_code) << "an answer that cannot be saved is a failed run";
  EXPECT_TRUE(Contains(unwritable.err, "cannot write no-such-folder/saved.bin")) << unwritable.err;

  RunTool({"get", ClosedUrl(), "-o", "never.bin"}, folder.path());
  EXPECT_EQ("", zemtest::read_file(folder.file("never.bin"))) << "a run without an answer should leave no file";
}

TEST(ZemhttpTool, EachSubcommandSendsItsVerbBodyAndOptions) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("*", Reply::Ok("").Header("Allow: GET, PUT"));
  server.RequireCredentials("/form", zemtest::AuthScheme::Basic, "ann", "s3cret");
  zemtest::TempDir folder;
  folder.write("note.txt", "file body");
  const std::vector<std::string> form = {"--data-file", "-", "-u", "ann:s3cret", "-H", "X-Name:  zem"};
  struct Case {
    std::vector<std::string> args;
    std::string input;
    const char *method;
    const char *target;
    const char *body;
  } cases[] = {
      {Line({"post"}, server.Url("/form?q=1"), form), "from stdin", "POST", "/form", "from stdin"},
      {{"get", server.Url("/doc?x=1&y=2")}, "", "GET", "/doc?x=1&y=2", ""},
      {{"put", server.Url("/dir/note.txt"), "--data-file", "note.txt"}, "", "PUT", "/dir/note.txt", "file body"},
      {{"delete", server.Url("/dir/note.txt")}, "", "DELETE", "/dir/note.txt", ""},
      {{"head", server.Url("/dir/")}, "", "HEAD", "/dir/", ""},
      {{"options", server.Url("/dir/")}, "", "OPTIONS", "/dir/", ""},
      {{"trace", server.Url("/t")}, "", "TRACE", "/t", ""},
      // The upload engine sends the query too.
      {Line({"upload"}, server.Url("/form?q=1"), form), "from stdin", "POST", "/form?q=1", "from stdin"},
      {Line({"upload", "--sync"}, server.Url("/form?q=1"), form), "from stdin", "POST", "/form?q=1", "from stdin"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Shown(c.args));
    server.ClearReceived();
    ToolRun run = RunTool(c.args, folder.path(), c.input);
    EXPECT_EQ(0, run.exit_code) << "stderr: " << run.err;
    auto got = server.Received();
    ASSERT_FALSE(got.empty()) << c.method;
    const zemtest::ReceivedRequest &last = got.back();
    EXPECT_EQ(c.method, last.method);
    EXPECT_EQ(c.target, last.target) << c.method;
    EXPECT_EQ(c.body, last.body) << c.method;
    if (std::string(c.method) == "POST") {
      EXPECT_EQ(1, last.authorized) << "-u should answer the server's challenge";
      EXPECT_EQ("zem", last.Header("X-Name")) << "-H should add the header";
    }
    if (c.args[0] == "upload") {
      EXPECT_EQ("application/x-www-form-urlencoded", last.Header("Content-Type")) << "the engine's content type";
      EXPECT_FALSE(Contains(run.err, "s3cret")) << "the echoed status log shows no password\n" << run.err;
    }
    if (std::string(c.method) == "HEAD") {
      EXPECT_TRUE(Contains(run.out, "Allow: GET, PUT\r\n")) << run.out;
    }
    if (std::string(c.method) == "OPTIONS") {
      EXPECT_EQ("Allow: GET, PUT\n", run.out) << "no body: the Allow line";
    }
  }
}

TEST(ZemhttpTool, RunsThatDoNotFinishFail) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/cut", Reply::Ok(std::string(20000, 'x')).CutAfter(1000));
  server.Answer("/stall", Reply::Ok("late").StallBeforeHeaders(5000));
  server.Answer("/interim",
                Reply::Ok().Interim("HTTP/1.1 100 Continue").NoFinalAnswer().Then(zemtest::ConnectionEnd::Close));

  ToolRun cut = RunTool({"get", server.Url("/cut")});
  EXPECT_EQ(1, cut.exit_code) << "a body cut short is no success; stderr: " << cut.err;

  ToolRun stalled = RunTool({"get", server.Url("/stall"), "--timeout", "300"});
  EXPECT_EQ(1, stalled.exit_code) << "--timeout should end the wait; stderr: " << stalled.err;

  server.ClearReceived();
  ToolRun interim = RunTool({"get", server.Url("/interim"), "--retries", "3"});
  EXPECT_EQ(1, interim.exit_code) << interim.err;
  EXPECT_EQ(3u, server.RequestCount()) << "--retries 3 allows three sends while only 1xx comes back";
}

// --max-time bounds the whole transfer whatever the server does (a body or a
// head that keeps trickling never trips the receive time-out); --max-filesize
// refuses a body by its announced length or by what arrived. Either way the
// run fails at once with the reason, and no body is written.
TEST(ZemhttpTool, BoundsOnTheTransferEndItPromptly) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  const std::string big(300000, 'b');
  server.Answer("/trickle-body", Reply::Ok(std::string(60, 't')).Trickle(1, 1000));
  server.Answer("/trickle-head", Reply::Ok("late").Trickle(1, 1000, true));
  server.Answer("/announced", Reply::Ok(big));
  server.Answer("/unannounced", Reply::Ok(big).CloseDelimited());
  const std::vector<std::string> get = {"get", "--timeout", "20000"}, upload = {"upload", "-d", "x"},
                                 upload_sync = {"upload", "-d", "x", "--sync"};
  struct Case {
    const std::vector<std::string> &mode;
    const char *path;
    std::vector<std::string> bound;
    const char *message;
  } cases[] = {
      {get, "/trickle-body", {"--max-time", "2"}, "did not end within --max-time 2 s"},
      {get, "/trickle-head", {"--max-time", "2"}, "did not end within --max-time 2 s"},
      {get, "/announced", {"--max-filesize", "1000"}, "larger than --max-filesize 1000 bytes (announced 300000)"},
      {get, "/unannounced", {"--max-filesize", "1000"}, "larger than --max-filesize 1000 bytes ("},
      // No single wait times out here: the run is cancelled, or left.
      {upload, "/trickle-body", {"--timeout", "2"}, "did not end within --timeout 2 s"},
      {upload_sync, "/trickle-body", {"--timeout", "2"}, "did not end within --timeout 2 s"},
  };
  for (const Case &c : cases) {
    const std::vector<std::string> line = Line(c.mode, server.Url(c.path), c.bound);
    const auto start = std::chrono::steady_clock::now();
    ToolRun run = RunTool(line);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(1, run.exit_code) << c.path << "\nstderr: " << run.err;
    EXPECT_TRUE(Contains(run.err, c.message)) << c.path << "\nstderr: " << run.err;
    EXPECT_EQ("", run.out) << c.path << ": nothing of a refused body is written";
    EXPECT_LT(seconds.count(), 15) << c.path << " hung past its bound";
  }
  ToolRun within = RunTool({"get", server.Url("/announced"), "--max-filesize", "300000", "--max-time", "30"});
  EXPECT_EQ(0, within.exit_code) << within.err;
  EXPECT_EQ(big, within.out);
}

TEST(ZemhttpTool, ProxiesFromTheCommandLineAndFromASettingsFile) {
  zemtest::ScriptedServer server;
  zemtest::TinyProxy proxy;
  ASSERT_TRUE(server.ok() && proxy.ok());
  server.Answer("*", Reply::Ok("via"));
  zemtest::TempDir folder;
  folder.write("proxy.ini", "[NET]\nchProxyAccessType=3\nszProxyNames=" + proxy.Address() + "\n");
  const std::vector<std::vector<std::string>> lines = {
      {"get", server.Url("/p"), "--proxy", proxy.Address()},
      {"get", server.Url("/p"), "--proxy-file", "proxy.ini", "--proxy-section", "NET"},
  };
  for (const auto &line : lines) {
    server.ClearReceived();
    ToolRun run = RunTool(line, folder.path());
    EXPECT_EQ(0, run.exit_code) << line[2] << "\nstderr: " << run.err;
    ASSERT_EQ(1u, server.RequestCount()) << line[2];
    EXPECT_TRUE(Contains(server.Received()[0].Header("Via"), "zemproxy")) << line[2] << " should go through the proxy";
  }
  ToolRun missing = RunTool({"get", server.Url("/p"), "--proxy-file", "absent.ini"}, folder.path());
  EXPECT_EQ(1, missing.exit_code) << "a proxy file that cannot be read must not fall back to a direct connection";
}

TEST(ZemhttpTool, LogAndProgressGoToTheirPlaces) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/big", Reply::Ok(std::string(100000, 'b')));
  zemtest::TempDir folder;

  ToolRun logged = RunTool({"get", server.Url("/big"), "--log", "--no-progress"}, folder.path());
  EXPECT_EQ(0, logged.exit_code) << logged.err;
  std::string log = zemtest::read_file(folder.file("HttpLog.TXT"));
  EXPECT_TRUE(Contains(log, "Connection Name=zemhttp get \r\n")) << log.substr(0, 300);
  EXPECT_TRUE(Contains(log, "Http Response contains 100000 characters:"));
  EXPECT_TRUE(Contains(logged.err, "debug log appended to " + folder.file("HttpLog.TXT")));

  RunTool({"get", ClosedUrl(), "--log=failed.txt"}, folder.path());
  EXPECT_TRUE(Contains(zemtest::read_file(folder.file("failed.txt")), "Http service log has"))
      << "a failed run should still leave its log";

  // The upload task's report, through the engine's own writer; after a run
  // that never reached the server as well.
  ToolRun reported = RunTool({"upload", server.Url("/big"), "-d", "name=Ann", "--report", "sc.txt"}, folder.path());
  EXPECT_EQ(0, reported.exit_code) << reported.err;
  EXPECT_TRUE(Contains(reported.err, "task report appended to " + folder.file("sc.txt"))) << reported.err;
  std::string report = zemtest::read_file(folder.file("sc.txt"));
  for (const char *part : {"-- Http AppName = /big \r\n", "Status Log:\r\n", "-- Request Data Sent, comprises 8 bytes",
                           "-- Prefill Response Data received, comprises 100000 bytes"})
    EXPECT_TRUE(Contains(report, part)) << part;
  RunTool({"upload", ClosedUrl(), "-d", "x", "--report", "sc.txt", "--sync"}, folder.path());
  report = zemtest::read_file(folder.file("sc.txt"));
  EXPECT_TRUE(Contains(report.substr(report.rfind("Connection Paramters")), "-- Upload Host name set to 127.0.0.1"))
      << "the failed run should append its report";

  ToolRun forced = RunTool({"get", server.Url("/big"), "--progress"});
  EXPECT_TRUE(Contains(forced.err, "100%")) << forced.err;
  ToolRun piped = RunTool({"get", server.Url("/big")});
  EXPECT_FALSE(Contains(piped.err, "%")) << "standard error is no terminal here: no bar expected; " << piped.err;
}

TEST(ZemhttpTool, StatusPrintsTheClientsTexts) {
  ToolRun known = RunTool({"status", "404"});
  EXPECT_EQ(0, known.exit_code);
  EXPECT_EQ(
      "404 Object Not Found\nThe server has not found anything matching the requested URI (Uniform Resource "
      "Identifier).\n",
      known.out);
  ToolRun unknown = RunTool({"status", "299"});
  EXPECT_EQ(1, unknown.exit_code);
  EXPECT_EQ("", unknown.out);
}

// Certificates made for the test: one for another host name, an expired one,
// and valid ones from an authority the tool is not told of. Each
// --ignore-cert option forgives exactly its own fault, in the client's
// subcommands and in upload tasks alike; nothing forgives an unknown authority.
TEST(ZemhttpTool, EachCertificateOptionForgivesOnlyItsOwnFault) {
  zemtest::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  nginx.WriteFile("page.txt", "secure content");
  const int wrong = nginx.wrong_host_port(), expired = nginx.expired_port(), valid = nginx.https_port();
  struct Case {
    int port;
    std::vector<std::string> relaxed;
    bool known_authority;
    bool accepted;
  } cases[] = {
      {valid, {}, true, true},
      {wrong, {}, true, false},
      {wrong, {"--ignore-cert-date"}, true, false},
      {wrong, {"--ignore-cert-name"}, true, true},
      {expired, {}, true, false},
      {expired, {"--ignore-cert-name"}, true, false},
      {expired, {"--ignore-cert-date"}, true, true},
      {valid, {"--ignore-cert-name", "--ignore-cert-date"}, false, false},
  };
  for (const auto &mode : kRunModes) {
    for (const Case &c : cases) {
      c.known_authority ? setenv("SSL_CERT_FILE", nginx.ca_file().c_str(), 1) : unsetenv("SSL_CERT_FILE");
      const std::vector<std::string> line = Line(mode, nginx.HttpsUrl("/page.txt", c.port), c.relaxed);
      SCOPED_TRACE(Shown(line));
      ToolRun run = RunTool(line);
      // nginx serves the page to GET and refuses a POST to it with 405.
      const bool get = mode[0] == "get";
      EXPECT_EQ(!c.accepted ? 1 : get ? 0 : 3, run.exit_code) << "stderr: " << run.err;
      EXPECT_EQ(!c.accepted ? "" : get ? "secure content" : run.out, run.out);
      EXPECT_TRUE(get || !c.accepted || Contains(run.err, "HTTP 405")) << "stderr: " << run.err;
      // Refused for the certificate, in the client's error or the task's log.
      EXPECT_TRUE(c.accepted || Contains(run.err, "certificate")) << "stderr: " << run.err;
    }
  }
  unsetenv("SSL_CERT_FILE");
}

}  // namespace
