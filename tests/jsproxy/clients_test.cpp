// The library's two callers of the auto-proxy library, against the
// platform's "jsproxy.dll" and a PAC script served by nginx: the client's
// automatic proxy query and the upload survey's letter "J", which sends the
// task through the proxy the script names for its host.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ZemHttp.h"
#include "loopback_port.h"
#include "loopback_servers.h"
#include "pac_scripts.h"
#include "tests/upload/upload_test_util.h"

namespace {

class ClientsOfTheScript : public ::testing::Test {
 protected:
  void SetUp() override {
    zemtest::ClearProxyEnvironment();
    ASSERT_TRUE(nginx.ok() && server.ok() && proxy.ok());
    nginx.WriteFile("split.pac", zemtest::SplittingScript(proxy.Address()));
    server.Answer("*", zemtest::Reply::Ok("answered"));
  }
  void TearDown() override {
    zemtest::ClearProxyEnvironment();
    InternetInitializeAutoProxyDll(0);
  }
  static void UsePacUrl(const std::string &url) {
    setenv("ZEMHTTP_PAC_URL", url.c_str(), 1);
    ASSERT_TRUE(InternetInitializeAutoProxyDll(0));
  }
  zemtest::NginxServer nginx;
  zemtest::ScriptedServer server;
  zemtest::TinyProxy proxy;
};

TEST_F(ClientsOfTheScript, TheClientsQueryAnswersOrRecordsTheScriptsError) {
  struct Case {
    std::string pacUrl;
    int result;
    const char *error;
  };
  const Case cases[] = {
      {nginx.HttpUrl("/split.pac"), 1, ""},
      {"http://127.0.0.1:" + std::to_string(zemtest::FreeLoopbackPorts(1).at(0)) + "/split.pac", 0,
       "CZemHttp::AttemptAutoProxy - Error in call of InternetGEtProxyInfo, error: 12167."},
  };
  for (const Case &c : cases) {
    UsePacUrl(c.pacUrl);
    CZemHttp http(0, 0, 0, 1);
    http.SetError(0, nullptr, 0);
    char szHost[] = "localhost";
    EXPECT_EQ(c.result, http.AttemptAutoProxyUrl(szHost)) << c.pacUrl;
    EXPECT_NE(http.hJsProxy, nullptr) << "the platform's library was loaded";
    EXPECT_STREQ(c.error, http.szLastError) << c.pacUrl;
  }
}

// A lookup that fails ends the survey without a method: the task goes direct.
TEST_F(ClientsOfTheScript, SurveyLetterJSendsTheTaskWhereTheScriptSays) {
  struct Case {
    std::string pacUrl;
    const char *host;
    bool proxied;
    std::string line;
  };
  const Case cases[] = {
      {nginx.HttpUrl("/split.pac"), "localhost", true,
       "-- AutoProxy using jsProxy.dll [PROXY " + proxy.Address() + "; DIRECT]"},
      {nginx.HttpUrl("/split.pac"), "127.0.0.1", false, "-- AutoProxy using jsProxy.dll [DIRECT]"},
      {nginx.HttpUrl("/missing.pac"), "localhost", false, "-- AutoProxy using jsProxy.dll failed, error = 12167"},
  };
  int doc = 40;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.pacUrl + " " + c.host);
    UsePacUrl(c.pacUrl);
    server.ClearReceived();
    uploadtest::Task task(++doc);
    ASSERT_TRUE(task.created);
    task.AimAt(server.port());
    ScSetConnStrings(task.doc, SC_STR_HOST_NAME, c.host);
    ScSetConnStrings(task.doc, SC_STR_PROXY_CFG, "J");
    EXPECT_EQ(1, ScraRunCompany(task.doc));
    EXPECT_EQ("answered", task.Answer());
    const auto got = server.Received();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(c.proxied, got[0].Header("Via").find("zemproxy") != std::string::npos);
    const auto lines = uploadtest::StatusLinesWithoutTime(task.doc);
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), c.line)) << uploadtest::Joined(lines);
  }
}

}  // namespace
