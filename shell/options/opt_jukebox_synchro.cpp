#include "shell/options/opt_jukebox_synchro.h"

#include <sys/stat.h>
#include <unistd.h>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/shell_routines.h"
#include "platform/ui/controls.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/report_files.h"

namespace hub {
namespace ui = platform::ui;
using K = ui::ControlKind;

OptJukeboxSynchro::OptJukeboxSynchro()
    : OptionPage(ui::DialogTemplate{639,
                                    "Jukebox::Velomatch",
                                    {{1114, K::CheckBox, "Enable Older One-Touch Synchro Mode"},
                                     {1039, K::Edit, ""}, {1040, K::Button, "Browse ..."},
                                     {1179, K::ComboBox, ""}, {1128, K::Button, "Add Folder"},
                                     {1183, K::Button, "Delete Folder"}, {1184, K::ComboBox, ""},
                                     {1191, K::CheckBox, "Enable Velomatch logging (slower)."},
                                     {6004, K::Button, "Reset Velomatch Cache"},
                                     {1192, K::Button, "View Velomatch Log"}},
                                    300,
                                    240},
                 {CheckSetting("JB_Tx_EnableOTS", 0, 1114), TextSetting("JB_Tx_SyncPath", "", 1039),
                  TextSetting("JB_Tx_SyncFolderList", "", 0), TextSetting("JB_Tx2PC_SyncPath", "", 0),
                  CheckSetting("JB_Tx_SyncLogging", 0, 1191)}) {}

std::vector<std::string> OptJukeboxSynchro::SplitFolderList(std::string_view list) {
  std::vector<std::string> out;
  while (!list.empty()) {
    size_t bar = list.find('|');
    std::string_view piece = list.substr(0, bar);
    if (piece.empty()) break;
    out.emplace_back(piece);
    if (bar == std::string_view::npos) break;
    list.remove_prefix(bar + 1);
  }
  return out;
}

std::string OptJukeboxSynchro::JoinFolderList(const std::vector<std::string>& folders) {
  std::string out;
  for (const auto& f : folders) out += f + "|";
  return out;
}

bool OptJukeboxSynchro::OnInitDialog() {
  OptionPage::OnInitDialog();
  RefreshFolders();
  return true;
}

void OptJukeboxSynchro::ExchangeMore(ui::DataExchange& dx) {
  // The target folder is the combo's text.
  auto& combo = Ctl<ui::ComboBox>(1184);
  if (dx.Saving()) {
    if (combo.CurSel() >= 0) Text("JB_Tx2PC_SyncPath") = combo.ItemText(combo.CurSel());
  } else {
    combo.SetCurSel(combo.FindStringExact(Text("JB_Tx2PC_SyncPath")));
  }
}

void OptJukeboxSynchro::RefreshFolders() {
  auto& list = Ctl<ui::ComboBox>(1179);
  auto& target = Ctl<ui::ComboBox>(1184);
  if (target.CurSel() >= 0) Text("JB_Tx2PC_SyncPath") = target.ItemText(target.CurSel());
  list.ResetContent();
  target.ResetContent();
  for (const auto& folder : SplitFolderList(Text("JB_Tx_SyncFolderList"))) {
    list.AddString(folder);
    target.AddString(folder);
  }
  // Exactly equal, case included.
  int exact = -1;
  for (int i = 0; i < target.Count(); ++i)
    if (target.ItemText(i) == Text("JB_Tx2PC_SyncPath")) exact = i;
  target.SetCurSel(exact);
}

bool OptJukeboxSynchro::ResetCache() {
  std::string folder = GetTempFolder("filech");
  for (const char* name : kVelomatchCacheFiles) ::unlink((folder + name).c_str());
  for (const char* name : {"cur2.db", "mod2.db", "cur.adb", "tmp.adb", "dat2.db"}) {
    struct stat st;
    if (::lstat((folder + name).c_str(), &st) == 0) return false;
  }
  return true;
}

bool OptJukeboxSynchro::OnCommand(int id) {
  std::string title = "Select a folder to sync your " + TheProductProfile().deviceLabel + " to:";
  switch (id) {
    case 1040:
      if (auto folder = ui::BrowseForFolder({Handle(), title, {}}); folder && !folder->empty())
        FindControl(1039)->SetText(*folder);
      return true;
    case 1128: {
      auto folder = ui::BrowseForFolder({Handle(), title, {}});
      if (!folder || folder->empty()) return true;
      // A "|" inside a folder's name would split it into two folders.
      if (folder->find('|') != std::string::npos) {
        ShowMessage("The folder " + *folder + " cannot be added: its name holds the character \"|\".",
                    ui::kMbIconInformation);
        return true;
      }
      Text("JB_Tx_SyncFolderList") += *folder + "|";
      RefreshFolders();
      return true;
    }
    case 1183: {
      auto& list = Ctl<ui::ComboBox>(1179);
      int sel = list.CurSel();
      if (sel < 0) return true;
      auto folders = SplitFolderList(Text("JB_Tx_SyncFolderList"));
      if (sel < static_cast<int>(folders.size())) folders.erase(folders.begin() + sel);
      Text("JB_Tx_SyncFolderList") = JoinFolderList(folders);
      RefreshFolders();
      return true;
    }
    case 6004:
      ShowMessage(ResetCache() ? "The cache has been reset.  It will be rebuilt the next time you invoke Synchro."
                               : "The cache file is locked and cannot be reset right now.\n\nMake sure there are no "
                                 "hung instances of 'explorer.exe' running and try again.\nOr, try rebooting and "
                                 "then reset the cache again.",
                  ui::kMbIconInformation);
      return true;
    case 1192: {
      std::string log = GetSyncLogPath();
      struct stat st;
      if (::stat(log.c_str(), &st) != 0) ShowMessage("Could not find log file.", ui::kMbIconInformation);
      else OpenWithShell(log);
      return true;
    }
    default: return OptionPage::OnCommand(id);
  }
}

}  // namespace hub
