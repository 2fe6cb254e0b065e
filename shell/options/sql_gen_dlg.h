// The "Content Reports" page of the "Logs and Reports" sheet: a SELECT typed
// by the user runs through the SQL engine in this process over the device
// client, and its result table is written as a report file and opened.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/ui_window.h"

namespace hub {

class CSQLGenDlg : public platform::ui::PropertyPage {
 public:
  static constexpr int kTemplate = 541;
  static constexpr int kFormatCombo = 1035;
  static constexpr int kQueryEdit = 1036;
  static constexpr int kMakeDefault = 1037;
  static constexpr int kGenerate = 1038;
  static constexpr int kHelp = 1046;

  CSQLGenDlg();

  std::string formatText;
  std::string queryText;

  bool OnInitDialog() override;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  bool OnCommand(int id) override;

  void GenerateReport();
  void MakeDefaultTracklist();
  void ShowSqlHelp();
};

// The report's file name and format letter for a format text; both empty
// when the text names none of the four formats.
struct ReportFormat {
  std::string fileName;
  char letter = 0;
};
ReportFormat ReportFormatFor(std::string_view formatText);
// The query Make Default Tracklist writes for the running product.
std::string DefaultTracklistQuery();

}  // namespace hub
