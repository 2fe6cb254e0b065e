#include "shell/namespace/report_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/product_profile.h"
#include "common/shell_routines.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int64_t LocalTime(int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = 105;
  tm.tm_mon = 2;
  tm.tm_mday = 14;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

class Reports : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    fs::remove_all(GetTempFolderForTest());
  }
  void TearDown() override {
    platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  static std::string GetTempFolderForTest() { return fs::path(GetTransferLogPath()).parent_path().string(); }
};

TEST_F(Reports, PathsAndTimeLines) {
  struct PathCase {
    std::string path;
    const char* name;
  } paths[] = {{GetExpansionLogPath(), "_exlog.txt"},         {GetExpansionListPath(), "_explist.txt"},
               {GetTransferLogPath(), "_txlog.txt"},          {GetTagWriteBackLogPath(), "_twblog.txt"},
               {GetSyncLogPath(), "_synclog.txt"},            {GetOutlookSyncLogPath(), "_outlsynclog.txt"},
               {ExpansionLogFile().Path(), "_exlog.txt"},     {OutlookSyncLogFile().Path(), "_outlsynclog.txt"}};
  for (const PathCase& c : paths) {
    EXPECT_EQ(fs::path(c.path).filename(), c.name);
    EXPECT_EQ(fs::path(c.path).parent_path().filename(), "reports");
    EXPECT_TRUE(fs::is_directory(fs::path(c.path).parent_path()));
  }

  struct TimeCase {
    int h, m, s;
    const char* line;
  } times[] = {{0, 30, 15, "12:30:15 AM  2005-03-14"},
               {21, 5, 7, "09:05:07 PM  2005-03-14"},
               {12, 0, 0, "12:00:00 PM  2005-03-14"},
               {11, 59, 59, "11:59:59 AM  2005-03-14"}};
  for (const TimeCase& c : times) EXPECT_EQ(ReportTimeLine(LocalTime(c.h, c.m, c.s)), c.line);
  EXPECT_EQ(ReportTimeLine(INT64_MAX), "");
}

TEST_F(Reports, LinesEndInCrLfAndASecondOpenTruncates) {
  {
    TransferLogFile log;
    ASSERT_TRUE(log.OpenAt(LocalTime(0, 30, 15)));
    log.WriteString("first run, a long line");
    log.WriteString("two\nlines");
    // Flushed at once: complete on disk while still open.
    EXPECT_EQ(ReadAll(log.Path()), "12:30:15 AM  2005-03-14\r\nfirst run, a long line\r\ntwo\r\nlines\r\n");
  }
  TransferLogFile again;
  ASSERT_TRUE(again.OpenAt(LocalTime(21, 5, 7)));
  again.WriteString("x");
  EXPECT_EQ(ReadAll(again.Path()), "09:05:07 PM  2005-03-14\r\nx\r\n");

  TagWriteBackLogFile now;
  ASSERT_TRUE(now.Open());
  EXPECT_EQ(ReadAll(now.Path()).size(), std::string("12:30:15 AM  2005-03-14\r\n").size());
}

TEST_F(Reports, AFailedOpenWritesNothingLater) {
  std::string dir = test::MakeTempDir("rep");
  TempFile file(dir + "/missing/folder/r.txt");
  EXPECT_FALSE(file.Open());
  file.WriteString("lost");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(fs::exists(dir + "/missing"));
}

TEST_F(Reports, TheLogPageOpensPresentReportsAndSaysSoOfMissingOnes) {
  ui::ScopedUiDriver<> script;
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  script->Push({ui::UiAction::Answer(ui::kIdOk)});
  size_t before = ReadShellRequests().size();

  CLogDlg page;
  EXPECT_EQ(page.TemplateId(), 548);
  EXPECT_EQ(page.Template().caption, "Transfer Logs");
  EXPECT_TRUE(page.OnCommand(1050));
  ASSERT_EQ(script->Messages().size(), 1u);
  EXPECT_EQ(script->Messages()[0].text, "Could not find log file.");
  EXPECT_EQ(ReadShellRequests().size(), before);

  {
    TransferLogFile log;
    ASSERT_TRUE(log.Open());
  }
  EXPECT_TRUE(page.OnCommand(1049));
  auto requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), before + 1);
  EXPECT_EQ(requests.back(), "open\t" + GetTransferLogPath() + "\t");
  EXPECT_EQ(script->Messages().size(), 1u);
}

}  // namespace
}  // namespace hub
