// The SQL report page.
#include "shell/options/sql_gen_dlg.h"

#include <sstream>
#include <vector>

#include "common/atomic_file.h"
#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/the_client.h"
#include "sql/result_rendering.h"
#include "sql/result_table.h"
#include "sql/select_statement.h"
#include "sql/sql_exception.h"
#include "sql/sql_parser_driver.h"
#include "sql/sql_query_engine.h"

namespace hub {

using namespace platform::ui;

namespace {

constexpr const char* kLastQuerySetting = "SQL_LastQuery";
constexpr int kHtmlEntry = 2;
constexpr int kOvelin = 4;
constexpr const char* kFormats[] = {"Comma-Separated (txt)", "Tab-Delimited (txt)", "HTML Table (html)",
                                    "XML Document (xml)"};

void Tell(std::string_view text) { ShowMessage(text, kMbIconInformation); }

}  // namespace

ReportFormat ReportFormatFor(std::string_view formatText) {
  static const struct {
    const char* word;
    const char* file;
    char letter;
  } kWords[] = {{"Comma", "sqlout.txt", 'c'}, {"Delim", "sqlout.txt", 't'}, {"HTML", "sqlout.html", 'h'},
                {"XML", "sqlout.xml", 'x'}};
  for (const auto& w : kWords)
    if (formatText.find(w.word) != std::string_view::npos) return {w.file, w.letter};
  return {};
}

std::string DefaultTracklistQuery() {
  if (TheProductProfile().productNumber == kOvelin)
    return "SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, composer, rating, "
           "playcount, comment, locked FROM audio ORDER BY artist, album, tracknum, title";
  return "SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, comment, locked FROM "
         "audio ORDER BY artist, album, tracknum, title";
}

CSQLGenDlg::CSQLGenDlg()
    : PropertyPage(DialogTemplate{
          kTemplate,
          "Content Reports",
          {{10, ControlKind::Static, "Type an SQL Query here:"},
           {kQueryEdit, ControlKind::Edit, ""},
           {11, ControlKind::Static, "Report Output Format:"},
           {kFormatCombo, ControlKind::ComboBox, ""},
           {12, ControlKind::Static,
            "audio:\tAudio tracks on Jukebox.\ndata:\tData files on Jukebox.\nplaylist:\tPlaylists on "
            "Jukebox.\nplitem:\tDistinct playlist items."},
           {13, ControlKind::Static,
            "audio:\nid, artist, album, tracknum, title, genre, year, comment, length, bitrate, size, codec, locked"},
           {14, ControlKind::Static, "data:\nid, name, size"},
           {15, ControlKind::Static, "playlist:\nid, name"},
           {16, ControlKind::Static, "plitem:\nid, plid, pos, aid"},
           {17, ControlKind::Static, "+, -, /, *, <>, =, !=, <, >, <=, >=, AND, OR, IS NULL, IS NOT NULL"},
           {18, ControlKind::Static, "String literals must be single-quoted.  String comparisons are case-insensitive."},
           {kMakeDefault, ControlKind::Button, "Make Default Tracklist"},
           {kGenerate, ControlKind::Button, "Generate Report"},
           {kHelp, ControlKind::Button, "More SQL Help and Examples"}},
          320,
          240}) {
  ReadSettingString(kLastQuerySetting, queryText);
}

bool CSQLGenDlg::OnInitDialog() {
  ComboBox& combo = Ctl<ComboBox>(kFormatCombo);
  combo.SetEditable(true);
  combo.ResetContent();
  for (const char* f : kFormats) combo.AddString(f);
  PropertyPage::OnInitDialog();
  combo.SetCurSel(kHtmlEntry);
  return true;
}

void CSQLGenDlg::DoDataExchange(DataExchange& dx) {
  ComboBox& combo = Ctl<ComboBox>(kFormatCombo);
  if (dx.Saving()) {
    formatText = combo.CurrentText();
  } else {
    int index = combo.FindStringExact(formatText);
    if (index >= 0) combo.SetCurSel(index);
    else if (!formatText.empty()) combo.SetText(formatText);
  }
  dx.Text(kQueryEdit, queryText);
}

bool CSQLGenDlg::OnCommand(int id) {
  switch (id) {
    case kMakeDefault: MakeDefaultTracklist(); return true;
    case kGenerate: GenerateReport(); return true;
    case kHelp: ShowSqlHelp(); return true;
    default: return PropertyPage::OnCommand(id);
  }
}

void CSQLGenDlg::GenerateReport() {
  if (!UpdateData(true)) return;
  WriteSettingString(kLastQuerySetting, queryText);
  // A format the page does not know has nowhere to go: said before the query runs.
  ReportFormat format = ReportFormatFor(formatText);
  if (format.fileName.empty()) {
    Tell("Could not create the output file.");
    return;
  }
  std::string path = GetTempFolder("reports") + format.fileName;

  std::string report;
  try {
    CSqlParserDriver parser;
    parser.Parse(queryText);
    if (parser.GetStatementType() != platform::kSqlStatementSelect) {
      Tell("Only SELECT statements are supported in this version.");
      return;
    }
    CResultTable result;
    {
      CTableSourceKernelDevice source(TheClient());
      CSelectStatement statement(queryText, parser.GetStatement(), &source);
      statement.Prepare();
      statement.Execute(result);
      std::vector<std::string> names = statement.selectNames();
      std::ostringstream out;
      RenderResultAsMarkup(result, format.letter, out, names, queryText);
      report = out.str();
    }
  } catch (const CKestroSQLException& e) {
    Tell("The SQL engine encountered a problem:\n\n" + e.GetMessageText());
    return;
  } catch (const std::exception&) {
    Tell("Could not perform query.");
    return;
  }
  // Whole or not at all: a failed write leaves the last report as it was.
  if (!WriteFileAtomically(path, report)) {
    Tell("Could not create the output file.");
    return;
  }
  OpenWithShell(path);
}

void CSQLGenDlg::MakeDefaultTracklist() {
  queryText = DefaultTracklistQuery();
  UpdateData(false);
  Ctl<ComboBox>(kFormatCombo).SetCurSel(kHtmlEntry);
  GenerateReport();
}

void CSQLGenDlg::ShowSqlHelp() {
  std::string target;
  ReadSettingString("URL_Help", target);
  ReadSettingString("URL_HelpSQL", target);
  OpenWithShell(target);
}

}  // namespace hub
