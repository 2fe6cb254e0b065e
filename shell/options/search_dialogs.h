// The searches over the player's tracks: the simple and advanced dialogs and
// the run that fills the Search folder's result list. A clause is parsed here
// first, so a quote in the text or a clause the engine cannot read is told as
// the engine's problem instead of reading as "no matches".
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/ui_window.h"

namespace hub {

// "Advanced Search": the WHERE clause, with the fields and operators as fixed text.
class CSearchDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 539;
  static constexpr int kClauseEdit = 1036;
  static constexpr int kMoreFields = 1244;

  explicit CSearchDlg(platform::ui::WindowHandle parent = 0);
  std::string clause;

  bool OnInitDialog() override;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  // Nobody to answer (no terminal, no script) closes it: an empty OK would show it again for ever.
  int DefaultButton() const override { return platform::ui::kIdCancel; }
};

// "Simple Search": one text matched in artist, album, genre and title.
class CSearchSimpleDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 540;
  static constexpr int kTextEdit = 1100;

  explicit CSearchSimpleDlg(platform::ui::WindowHandle parent = 0);
  std::string text;

  void DoDataExchange(platform::ui::DataExchange& dx) override;
  int DefaultButton() const override { return platform::ui::kIdCancel; }
};

inline constexpr std::string_view kSearchStatementHead = "SELECT id FROM audio WHERE ";
inline constexpr std::string_view kNoMatchesText = "Search produced no matches.";
inline constexpr std::string_view kSqlProblemText = "The SQL engine encountered a problem:\n\n";

// The clause of a simple search for `text`, taken as typed.
std::string SimpleSearchClause(std::string_view text);
// The advanced dialog's first clause: what follows "WHERE" in the stored
// "Last Search Query", without ";".
std::string AdvancedSearchStartClause();

// Runs one search: parses the statement, asks the device for its ids, fills
// the result list, stores the clause and refreshes the views (or says there
// was no match). Failures are shown; nothing escapes.
void RunSearch(std::string_view clause);
void SimpleSearch();
void AdvancedSearch();

}  // namespace hub
