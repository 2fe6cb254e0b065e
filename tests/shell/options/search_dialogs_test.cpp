// The searches: the statement sent, the result list, the stored clause, the
// refresh, and the clauses that never reach the device.
#include "shell/options/search_dialogs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/ui/driver.h"
#include "refresh_watch.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "sql/sql_query_engine.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

class SearchDevice : public test::MemoryDevice {
 public:
  int RunQuery(std::string_view sql, KernelId& first) override {
    statements.emplace_back(sql);
    if (fail) throw KernelDeviceClientException(0x80004005, "RunQuery", "The player went away.");
    return MemoryDevice::RunQuery(sql, first);
  }
  std::vector<std::string> statements;
  bool fail = false;
};

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    InstallSqlQueryEngine();
    aurora1_ = device_.AddTrack("Aurora Tide", "Northern Lights", "First Light", 1, "Ambient");
    device_.AddTrack("Basalt", "Stone", "Quarry", 1, "Rock");
    aurora2_ = device_.AddTrack("Aurora Tide", "Northern Lights", "Polar Drift", 2, "Ambient");
    BindClient(&device_);
    SetSearchResults({});
  }
  void TearDown() override {
    BindClient(nullptr);
    SetSearchResults({});
  }
  std::vector<uint64_t> ResultIds() {
    std::vector<uint64_t> out;
    for (const KernelId& id : SearchResults()) out.push_back(id.RecordId());
    return out;
  }

  SearchDevice device_;
  KernelId aurora1_, aurora2_;
};

TEST_F(SearchTest, SimpleSearchSendsTheFourTermStatementAndListsTheMatchesInDeviceOrder) {
  test::RefreshWatch watch;
  ui::ScopedUiDriver<> script;
  script->Push({UiAction::Set(CSearchSimpleDlg::kTextEdit, "abc"), UiAction::Press(ui::kIdOk), UiAction::Answer(ui::kIdOk)});
  SimpleSearch();
  ASSERT_EQ(device_.statements.size(), 1u);
  EXPECT_EQ(device_.statements[0],
            "SELECT id FROM audio WHERE artist?'abc' OR album?'abc' OR genre?'abc' OR title?'abc';");
  EXPECT_EQ(script->Messages().size(), 1u) << "no match is said";

  script->Push({UiAction::Set(CSearchSimpleDlg::kTextEdit, "aurora"), UiAction::Press(ui::kIdOk)});
  SimpleSearch();
  EXPECT_EQ(ResultIds(), (std::vector<uint64_t>{aurora1_.RecordId(), aurora2_.RecordId()}));
  EXPECT_EQ(SettingString("SQL_LastSearchQuery", ""), SimpleSearchClause("aurora"));
  EXPECT_EQ(SettingString("Last Search Query", ""), "SELECT id FROM audio WHERE " + SimpleSearchClause("aurora") + ";");
  EXPECT_EQ(watch.Count(), 1);
  EXPECT_EQ(script->Pending(), 0u);
}

TEST_F(SearchTest, NoMatchSaysSoEmptiesTheListAndLeavesSettingAndViewsAlone) {
  WriteSettingString("SQL_LastSearchQuery", "year=1995");
  SetSearchResults({KernelId(9u)});
  test::RefreshWatch watch;
  ui::ScopedUiDriver<> script;
  script->Push(UiAction::Answer(ui::kIdOk));
  RunSearch("artist='Nobody'");
  ASSERT_EQ(script->Messages().size(), 1u);
  EXPECT_EQ(script->Messages()[0].text, "Search produced no matches.");
  EXPECT_EQ(script->Messages()[0].type & ui::kMbIconMask, ui::kMbIconInformation);
  EXPECT_EQ(SearchResultCount(), 0u);
  EXPECT_EQ(SettingString("SQL_LastSearchQuery", ""), "year=1995");
  EXPECT_EQ(watch.Count(), 0);
}

TEST_F(SearchTest, AQuoteOrAnUnreadableClauseIsTheEnginesProblemAndSendsNothing) {
  struct Case {
    const char* name;
    bool simple;
    const char* text;
  };
  const Case cases[] = {
      {"quote in the simple text", true, "Rock 'n' Roll"},
      {"clause cut short", false, "year >"},
      {"second statement", false, "1=1; DELETE FROM audio"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetSearchResults({KernelId(9u)});
    ui::ScopedUiDriver<> script;
    script->Push(UiAction::Answer(ui::kIdOk));
    RunSearch(c.simple ? SimpleSearchClause(c.text) : std::string(c.text));
    ASSERT_EQ(script->Messages().size(), 1u);
    EXPECT_EQ(script->Messages()[0].text.rfind("The SQL engine encountered a problem:\n\nSyntax error.", 0), 0u)
        << script->Messages()[0].text;
    EXPECT_TRUE(device_.statements.empty());
    EXPECT_EQ(SearchResultCount(), 1u) << "the last results stay";
  }
}

TEST_F(SearchTest, ADeviceFailureIsReportedAndEndsTheCommandQuietly) {
  device_.fail = true;
  test::RefreshWatch watch;
  ui::ScopedUiDriver<> script;
  script->Push(UiAction::Answer(ui::kIdOk));
  EXPECT_NO_THROW(RunSearch("year>1990"));
  ASSERT_EQ(script->Messages().size(), 1u);
  const std::string& text = script->Messages()[0].text;
  EXPECT_NE(text.find("Code: 0x80004005\nSource: RunQuery\nDetail: The player went away."), std::string::npos) << text;
  EXPECT_EQ(watch.Count(), 0);
}

TEST_F(SearchTest, AnEmptyOkShowsTheDialogAgainAndCancelEndsWithoutASearch) {
  ui::ScopedUiDriver<> script;
  script->Push({UiAction::Press(ui::kIdOk), UiAction::Press(ui::kIdCancel)});
  SimpleSearch();
  script->Push({UiAction::Set(CSearchDlg::kClauseEdit, ""), UiAction::Press(ui::kIdOk), UiAction::Press(ui::kIdCancel)});
  AdvancedSearch();
  EXPECT_EQ(script->Pending(), 0u);
  EXPECT_TRUE(device_.statements.empty());

  // Nobody at a terminal to answer: the dialog's default closes it, once.
  std::FILE* out = std::tmpfile();
  {
    ui::ScopedUiDriver<ui::TerminalUiDriver> terminal(out, -1, false);
    SimpleSearch();
    AdvancedSearch();
  }
  std::fclose(out);
  EXPECT_TRUE(device_.statements.empty());
}

TEST_F(SearchTest, TheAdvancedDialogStartsFromWhatFollowsWhereInTheStoredStatement) {
  struct Case {
    const char* stored;  // nullptr: no value
    const char* clause;
  };
  const Case cases[] = {
      {nullptr, ""},
      {"SELECT id FROM audio WHERE year=1995;", " year=1995"},
      {"genre='rock';;", "genre='rock'"},
      {"a WHERE b WHERE c;", " b WHERE c"},
      {"select id from audio where x=1", "select id from audio where x=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "(none)");
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    if (c.stored) WriteSettingString("Last Search Query", c.stored);
    EXPECT_EQ(AdvancedSearchStartClause(), c.clause);
    ui::ScopedUiDriver<> script;
    script->Push({UiAction::Press(ui::kIdCancel)});
    AdvancedSearch();
  }

  // A search that found something seeds the next advanced search with its clause.
  ui::ScopedUiDriver<> script;
  script->Push({UiAction::Set(CSearchDlg::kClauseEdit, "tracknum>1"), UiAction::Press(ui::kIdOk)});
  AdvancedSearch();
  EXPECT_EQ(device_.statements.back(), "SELECT id FROM audio WHERE tracknum>1;");
  EXPECT_EQ(SearchResultCount(), 1u);
  EXPECT_EQ(AdvancedSearchStartClause(), " tracknum>1");
}

TEST_F(SearchTest, TheExtraFieldsLineShowsForOvelinPlayersOnly) {
  const struct {
    const char* manager;
    bool shown;
  } cases[] = {{"ovelmgr", true}, {"irivmgr", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.manager);
    SelectProduct(c.manager, TheProductProfile());
    CSearchDlg dlg;
    ASSERT_TRUE(dlg.Create(0));
    EXPECT_EQ(dlg.Ctl<ui::Control>(CSearchDlg::kMoreFields).IsVisible(), c.shown);
    EXPECT_EQ(dlg.Ctl<ui::Control>(CSearchDlg::kMoreFields).Text(), "composer, rating, playcount");
    dlg.DestroyWindow();
  }
}

}  // namespace
}  // namespace hub
