// The search dialogs and the search run.
#include "shell/options/search_dialogs.h"

#include <exception>
#include <vector>

#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "sql/sql_exception.h"
#include "sql/sql_parser_driver.h"

namespace hub {

using namespace platform::ui;

namespace {

constexpr const char* kLastClauseSetting = "SQL_LastSearchQuery";
constexpr const char* kLastStatementSetting = "Last Search Query";
constexpr int kOvelin = 4;

}  // namespace

CSearchDlg::CSearchDlg(WindowHandle parent)
    : Dialog(DialogTemplate{kTemplate,
                            "Advanced Search",
                            {{kClauseEdit, ControlKind::Edit, ""},
                             {1, ControlKind::Static,
                              "id, artist, album, tracknum, title, genre, year, comment, length, bitrate, size, codec, "
                              "locked"},
                             {kMoreFields, ControlKind::Static, "composer, rating, playcount", false},
                             {2, ControlKind::Static, "+, -, /, *, <>, =, !=, <, >, <=, >=, AND, OR"},
                             {3, ControlKind::Static, "? (contains)"},
                             {4, ControlKind::Static, "# (does not contain)"},
                             {5, ControlKind::Static, "(Please single-quote strings.)"},
                             {6, ControlKind::Static, "artist='beatles' AND length < 300"},
                             {7, ControlKind::Static, "genre='rock' OR genre='classical' AND year=1995"},
                             {kIdOk, ControlKind::Button, "OK"},
                             {kIdCancel, ControlKind::Button, "Cancel"}},
                            300,
                            200},
             parent) {}

bool CSearchDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  // Only these players have the three extra fields.
  if (TheProductProfile().productNumber == kOvelin) Ctl<Control>(kMoreFields).Show(true);
  return true;
}

void CSearchDlg::DoDataExchange(DataExchange& dx) { dx.Text(kClauseEdit, clause); }

CSearchSimpleDlg::CSearchSimpleDlg(WindowHandle parent)
    : Dialog(DialogTemplate{kTemplate,
                            "Simple Search",
                            {{kTextEdit, ControlKind::Edit, ""},
                             {1, ControlKind::Static, "This finds matches in Artist, Album, Title, or Genre fields."},
                             {kIdOk, ControlKind::Button, "OK"},
                             {kIdCancel, ControlKind::Button, "Cancel"}},
                            260,
                            90},
             parent) {}

void CSearchSimpleDlg::DoDataExchange(DataExchange& dx) { dx.Text(kTextEdit, text); }

std::string SimpleSearchClause(std::string_view text) {
  std::string t(text);
  return "artist?'" + t + "' OR album?'" + t + "' OR genre?'" + t + "' OR title?'" + t + "'";
}

std::string AdvancedSearchStartClause() {
  std::string stored;
  if (!ReadSettingString(kLastStatementSetting, stored)) return {};
  size_t where = stored.find("WHERE");
  if (where != std::string::npos) stored = stored.substr(where + 5);
  std::string clause;
  for (char c : stored)
    if (c != ';') clause += c;
  return clause;
}

void RunSearch(std::string_view clause) {
  WaitCursor wait;
  std::string statement = std::string(kSearchStatementHead) + std::string(clause) + ";";
  // The device's query answers no row for a statement it cannot read, which
  // would read as "no matches": read it here first and say what is wrong.
  try {
    CSqlParserDriver parser;
    parser.Parse(statement);
  } catch (const CKestroSQLException& e) {
    ShowMessage(std::string(kSqlProblemText) + e.GetMessageText(), kMbIconInformation);
    return;
  }

  std::vector<KernelId> ids;
  SetSearchResults({});
  try {
    CollectQueryResults(TheClient(), statement, ids);
  } catch (const std::exception& e) {
    SetSearchResults(std::move(ids));
    ReportClientException("The search could not be completed.", e);
    return;
  }
  if (ids.empty()) {
    ShowMessage(kNoMatchesText, kMbIconInformation);
    return;
  }
  SetSearchResults(std::move(ids));
  WriteSettingString(kLastClauseSetting, clause);
  // The advanced dialog starts from the last clause that found something.
  WriteSettingString(kLastStatementSetting, statement);
  RefreshExplorerAfterChange();
}

void SimpleSearch() {
  std::string text;
  while (text.empty()) {
    CSearchSimpleDlg dlg(GetMessageOwner());
    if (dlg.DoModal() != kIdOk) return;
    text = dlg.text;
  }
  RunSearch(SimpleSearchClause(text));
}

void AdvancedSearch() {
  std::string clause = AdvancedSearchStartClause();
  for (;;) {
    CSearchDlg dlg(GetMessageOwner());
    dlg.clause = clause;
    if (dlg.DoModal() != kIdOk) return;
    clause = dlg.clause;
    if (!clause.empty()) break;
  }
  RunSearch(clause);
}

}  // namespace hub
