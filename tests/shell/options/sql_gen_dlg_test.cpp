// The SQL report page: formats, refusals before anything runs, engine
// errors, and the reports it writes and opens.
#include "shell/options/sql_gen_dlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/ui/driver.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SqlGenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    device_.AddTrack("Aurora Tide", "Northern Lights", "First Light", 1, "Ambient");
    device_.AddTrack("Basalt", "Stone", "Quarry", 2, "Rock");
    BindClient(&device_);
    device_.calls.clear();
    reports_ = GetTempFolder("reports");
    std::filesystem::remove(reports_ + "sqlout.txt");
    std::filesystem::remove(reports_ + "sqlout.html");
  }
  void TearDown() override { BindClient(nullptr); }

  // Types the query and the format into a fresh page and presses Generate Report.
  std::vector<std::string> Generate(const std::string& query, const std::string& format) {
    ui::ScopedUiDriver<> script;
    for (int i = 0; i < 2; ++i) script->Push(ui::UiAction::Answer(ui::kIdOk));
    CSQLGenDlg page;
    EXPECT_TRUE(page.Create(0));
    page.Ctl<ui::Control>(CSQLGenDlg::kQueryEdit).SetText(query);
    std::string error;
    EXPECT_TRUE(page.Ctl<ui::ComboBox>(CSQLGenDlg::kFormatCombo).ApplyUserValue(format, error)) << error;
    page.OnCommand(CSQLGenDlg::kGenerate);
    page.DestroyWindow();
    std::vector<std::string> texts;
    for (const auto& m : script->Messages()) texts.push_back(m.text);
    return texts;
  }
  bool TouchedTracks() const {
    for (const std::string& c : device_.calls)
      if (c.find("Track") != std::string::npos) return true;
    return false;
  }

  test::MemoryDevice device_;
  std::string reports_;
};

TEST(SqlReportFormat, TheFirstWordFoundPicksFileAndLetter) {
  const struct {
    const char* text;
    const char* file;
    char letter;
  } cases[] = {
      {"Comma-Separated (txt)", "sqlout.txt", 'c'}, {"Tab-Delimited (txt)", "sqlout.txt", 't'},
      {"HTML Table (html)", "sqlout.html", 'h'},    {"XML Document (xml)", "sqlout.xml", 'x'},
      {"Delim or HTML", "sqlout.txt", 't'},         {"html", "", 0},
      {"foo", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ReportFormat f = ReportFormatFor(c.text);
    EXPECT_EQ(f.fileName, c.file);
    EXPECT_EQ(f.letter, c.letter);
  }
}

TEST_F(SqlGenTest, ThePageOpensWithTheLastQueryAndHtmlSelected) {
  {
    CSQLGenDlg fresh;
    ASSERT_TRUE(fresh.Create(0));
    EXPECT_EQ(fresh.Ctl<ui::Control>(CSQLGenDlg::kQueryEdit).Text(), "");
    fresh.DestroyWindow();
  }
  WriteSettingString("SQL_LastQuery", "SELECT title FROM audio");
  CSQLGenDlg page;
  ASSERT_TRUE(page.Create(0));
  EXPECT_EQ(page.Ctl<ui::Control>(CSQLGenDlg::kQueryEdit).Text(), "SELECT title FROM audio");
  const ui::ComboBox& combo = page.Ctl<ui::ComboBox>(CSQLGenDlg::kFormatCombo);
  ASSERT_EQ(combo.Count(), 4);
  EXPECT_EQ(combo.CurrentText(), "HTML Table (html)");
  page.DestroyWindow();
}

TEST_F(SqlGenTest, RefusalsComeBeforeAnyDeviceRequest) {
  const struct {
    const char* name;
    const char* query;
    const char* format;
    const char* message;
  } cases[] = {
      {"typed format", "SELECT title FROM audio", "foo", "Could not create the output file."},
      {"delete", "DELETE FROM audio", "HTML Table (html)", "Only SELECT statements are supported in this version."},
      {"update", "UPDATE audio SET title='x'", "HTML Table (html)",
       "Only SELECT statements are supported in this version."},
  };
  size_t opened = ReadShellRequests().size();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    device_.calls.clear();
    std::vector<std::string> messages = Generate(c.query, c.format);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], c.message);
    EXPECT_FALSE(TouchedTracks());
    EXPECT_EQ(SettingString("SQL_LastQuery", ""), c.query) << "the query is kept even when refused";
  }
  EXPECT_EQ(ReadShellRequests().size(), opened) << "nothing was opened";
  EXPECT_FALSE(std::filesystem::exists(reports_ + "sqlout.html"));
}

TEST_F(SqlGenTest, AnEngineErrorShowsTheEnginesOwnText) {
  std::vector<std::string> messages = Generate("SELECT nosuch FROM audio", "HTML Table (html)");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("The SQL engine encountered a problem:\n\nNo such field.", 0), 0u) << messages[0];
  messages = Generate("SELECT title FROM audio WHERE", "HTML Table (html)");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("The SQL engine encountered a problem:\n\nSyntax error.", 0), 0u) << messages[0];
  EXPECT_FALSE(std::filesystem::exists(reports_ + "sqlout.html"));
}

TEST_F(SqlGenTest, CommaAndDelimWriteOneFileTheSecondReplacingTheFirst) {
  size_t opened = ReadShellRequests().size();
  EXPECT_TRUE(Generate("SELECT artist, title FROM audio ORDER BY title", "Comma-Separated (txt)").empty());
  std::string comma = ReadAll(reports_ + "sqlout.txt");
  EXPECT_NE(comma.find("Aurora Tide,First Light"), std::string::npos) << comma;
  EXPECT_TRUE(Generate("SELECT artist, title FROM audio ORDER BY title", "Tab-Delimited (txt)").empty());
  std::string tab = ReadAll(reports_ + "sqlout.txt");
  EXPECT_NE(tab.find("Aurora Tide\tFirst Light"), std::string::npos) << tab;
  EXPECT_EQ(tab.find("Aurora Tide,First Light"), std::string::npos);
  auto requests = ReadShellRequests();
  ASSERT_EQ(requests.size(), opened + 2);
  EXPECT_NE(requests.back().find(reports_ + "sqlout.txt"), std::string::npos) << requests.back();
}

TEST_F(SqlGenTest, MakeDefaultTracklistWritesAnHtmlReportWhateverWasSelected) {
  ui::ScopedUiDriver<> script;
  CSQLGenDlg page;
  ASSERT_TRUE(page.Create(0));
  std::string error;
  ASSERT_TRUE(page.Ctl<ui::ComboBox>(CSQLGenDlg::kFormatCombo).ApplyUserValue("XML Document (xml)", error));
  page.OnCommand(CSQLGenDlg::kMakeDefault);
  EXPECT_EQ(page.Ctl<ui::Control>(CSQLGenDlg::kQueryEdit).Text(), DefaultTracklistQuery());
  page.DestroyWindow();
  EXPECT_TRUE(script->Messages().empty());
  std::string html = ReadAll(reports_ + "sqlout.html");
  EXPECT_NE(html.find("Quarry"), std::string::npos);
  EXPECT_LT(html.find("First Light"), html.find("Quarry")) << "ordered by artist";
  EXPECT_EQ(SettingString("SQL_LastQuery", ""), DefaultTracklistQuery());

  SelectProduct("ovelmgr", TheProductProfile());
  EXPECT_NE(DefaultTracklistQuery().find("composer, rating, playcount"), std::string::npos);
}

}  // namespace
}  // namespace hub
