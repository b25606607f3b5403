// The upload engine's download against the internet-library double, linked
// into this program ahead of the real library: answers no real server can
// draw from the library (a read of nothing while bytes were announced, a long
// run of pending answers) must not end the download before its body does.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ZemUpload.h"
#include "tests/double/wininet_double.h"
#include "tests/upload/upload_test_util.h"

extern "C" zemdouble::Control *ZemDoubleControl();

namespace {

struct Row {
  const char *name;
  std::function<void(zemdouble::Control &)> script;
};

void Announce(zemdouble::Script &query, int pending, std::initializer_list<const char *> announced) {
  for (int i = 0; i < pending; ++i) query.Fail(ERROR_IO_PENDING).Then();
  for (const char *bytes : announced) query.Data(bytes).Then();
  query.Data("");
}

TEST(UploadDownload, OnlyTheEndOfTheBodyEndsIt) {
  const Row rows[] = {
      {"a read of nothing while bytes were announced is tried again",
       [](zemdouble::Control &ctl) {
         Announce(ctl.On("InternetQueryDataAvailable"), 0, {"hello", "hello"});
         ctl.On("InternetReadFile").Data("").Then().Data("hello");
       }},
      {"more than 2000 pending answers before the bytes come",
       [](zemdouble::Control &ctl) {
         Announce(ctl.On("InternetQueryDataAvailable"), 2100, {"hello"});
         ctl.On("InternetReadFile").Data("hello");
       }},
  };
  zemdouble::Control &ctl = *ZemDoubleControl();
  int doc = 1;
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    ctl.Reset();
    row.script(ctl);
    uploadtest::Task task(doc++);
    ASSERT_TRUE(task.created);
    task.AimAt(80);
    ScraRunCompany(task.doc);
    EXPECT_EQ("hello", task.Answer()) << uploadtest::Joined(uploadtest::StatusLines(task.doc));
  }
}

}  // namespace
