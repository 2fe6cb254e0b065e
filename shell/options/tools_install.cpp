// Fills the namespace's tool entries with the tools built here.
#include "shell/options/tools_install.h"

#include "shell/namespace/tool_services.h"
#include "shell/options/outlook_sync.h"
#include "shell/options/roamdeck_dialog.h"
#include "shell/options/search_dialogs.h"
#include "shell/options/sql_gen_dlg.h"

namespace hub {

void InstallOptionTools() {
  ToolServices s;
  s.SimpleSearch = [] { SimpleSearch(); };
  s.AdvancedSearch = [] { AdvancedSearch(); };
  s.SyncOutlookDefaultFolder = [] { SyncOutlookContacts(0); };
  s.SyncOutlookChosenFolder = [] { SyncOutlookContacts(1); };
  s.ShowRoamdeckDialog = [](platform::ShellWindow owner) { ShowRoamdeckDialog(owner); };
  s.CreateSqlGeneratorPage = [] { return std::unique_ptr<platform::ui::PropertyPage>(new CSQLGenDlg()); };
  InstallToolServices(s);
}

}  // namespace hub
