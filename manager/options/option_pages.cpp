// The manager's option pages, the account editor and the options sheet.
#include "manager/options/option_pages.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "common/atomic_file.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "common/ui/tree_prop_sheet.h"
#include "common/version.h"
#include "platform/log.h"

namespace hub {

using namespace platform::ui;

namespace {

constexpr int kMaxPort = 65535;

struct GeneralSetting {
  int control;
  const char* label;
  const char* setting;
  int COptionGeneral::*member;
  uint32_t defaultValue;
};
constexpr GeneralSetting kGeneralSettings[] = {
    {1014, "Do not ask to confirm when exiting Manager.", "Gen_DisableKestMgrCloseConfirm",
     &COptionGeneral::disableCloseConfirm, 0},
    {1015, "Enable Shell Context Menu Integration (experimental).", "Gen_Tx_EnableContextMenu",
     &COptionGeneral::enableContextMenu, 1},
    {1021, "Increase Explorer-Manager communications timeout.", "Gen_DisableManagerTimeout",
     &COptionGeneral::disableManagerTimeout, 0},
    {1026, "Do not show Connect/Disconnect progress window.", "Gen_DisableSystrayProgress",
     &COptionGeneral::disableSystrayProgress, 0},
};

DialogTemplate GeneralTemplate() {
  DialogTemplate t{128, "General", {}};
  for (const auto& s : kGeneralSettings) t.controls.push_back({s.control, ControlKind::CheckBox, s.label});
  return t;
}

struct WebCheck {
  int control;
  const char* label;
  const char* setting;
  int KestwebOptionsDlg::*member;
};
constexpr WebCheck kWebChecks[] = {
    {KestwebOptionsDlg::kDisable, "Disable Glimmet completely.", "KW_Disable", &KestwebOptionsDlg::disable},
    {KestwebOptionsDlg::kBlockRemote, "Disable remote access.", "KW_BlockRemote", &KestwebOptionsDlg::blockRemote},
    {KestwebOptionsDlg::kRequireAuth, "Require username and password for remote access.", "KW_RequireAuthentication",
     &KestwebOptionsDlg::requireAuth},
    {KestwebOptionsDlg::kLogLocal, "Log local accesses.", "KW_LogLocal", &KestwebOptionsDlg::logLocal},
    {KestwebOptionsDlg::kLogRemote, "Log remote accesses.", "KW_LogRemote", &KestwebOptionsDlg::logRemote},
    {KestwebOptionsDlg::kLogPages, "Log page accesses.", "KW_LogPages", &KestwebOptionsDlg::logPages},
    {KestwebOptionsDlg::kOldSkinMode, "Old Skin Mode", "KW_OldSkinMode", &KestwebOptionsDlg::oldSkinMode},
};

DialogTemplate WebTemplate() {
  using K = KestwebOptionsDlg;
  DialogTemplate t{129, "Glimmet HTTP Options", {}};
  for (const auto& c : kWebChecks) t.controls.push_back({c.control, ControlKind::CheckBox, c.label});
  t.controls.insert(t.controls.end(), {
                                          {K::kPort, ControlKind::Edit, ""},
                                          {K::kSkin, ControlKind::ComboBox, ""},
                                          {K::kAccounts, ControlKind::ListView, ""},
                                          {K::kAdd, ControlKind::Button, "Add"},
                                          {K::kEdit, ControlKind::Button, "Edit"},
                                          {K::kDelete, ControlKind::Button, "Delete"},
                                          {K::kEditFile, ControlKind::Button, "Edit Usernames and Passwords"},
                                          {K::kViewLog, ControlKind::Button, "View Log"},
                                          {K::kClearLog, ControlKind::Button, "Clear Log"},
                                      });
  return t;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string AppDataDir() { return SettingString("Gen_AppDataDir", ""); }
std::string InstallFolder() { return SettingString("", ""); }
std::string AccessLogPath() { return InstallFolder() + "/httplog.html"; }

std::string WithoutColons(std::string text) {
  std::erase(text, ':');
  return text;
}

}  // namespace

// --- COptionGeneral

COptionGeneral::COptionGeneral() : PropertyPage(GeneralTemplate()) {
  for (const auto& s : kGeneralSettings) this->*s.member = static_cast<int>(SettingDword(s.setting, s.defaultValue));
}

void COptionGeneral::DoDataExchange(DataExchange& dx) {
  for (const auto& s : kGeneralSettings) dx.Check(s.control, this->*s.member);
}

void COptionGeneral::OnOK() {
  for (const auto& s : kGeneralSettings) WriteSettingDword(s.setting, static_cast<uint32_t>(this->*s.member));
}

// --- Accounts

std::vector<Account> ParseAccounts(std::string_view text) {
  std::vector<Account> out;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    line = line.substr(0, line.find('#'));
    std::string trimmed = TrimWhitespace(line);
    size_t colon = trimmed.find(':');
    if (colon == std::string::npos) continue;
    out.emplace_back(trimmed.substr(0, colon), trimmed.substr(colon + 1));
  }
  return out;
}

std::string FormatAccounts(const std::vector<Account>& accounts) {
  std::string out;
  for (const auto& [user, password] : accounts) out += user + ":" + password + "\n";
  return out;
}

int DefaultPortForLetter(std::string_view letter) {
  static constexpr std::pair<char, int> kPorts[] = {{'X', 8045}, {'W', 8042}, {'1', 8044}, {'P', 8046},
                                                    {'H', 8047}, {'V', 8048}, {'T', 8049}, {'L', 8050}};
  if (letter.size() == 1)
    for (const auto& [c, port] : kPorts)
      if (c == letter[0]) return port;
  return 8045;
}

std::string AccountFilePath() {
  std::string dir = AppDataDir();
  return dir.empty() ? std::string() : dir + "/httpauth.txt";
}

// --- EditAccountDlg

EditAccountDlg::EditAccountDlg(std::string initialUser, std::string initialPassword)
    : Dialog(DialogTemplate{130,
                            "Remote Access Account",
                            {{1036, ControlKind::Edit, ""},
                             {1037, ControlKind::Edit, ""},
                             {kIdOk, ControlKind::Button, "OK"},
                             {kIdCancel, ControlKind::Button, "Cancel"}}}),
      user(std::move(initialUser)),
      password(std::move(initialPassword)) {}

void EditAccountDlg::DoDataExchange(DataExchange& dx) {
  dx.Text(1036, user);
  dx.Text(1037, password);
}

// --- KestwebOptionsDlg

KestwebOptionsDlg::KestwebOptionsDlg(WebServerControl* server, std::string letter)
    : PropertyPage(WebTemplate()), server_(server), letter_(std::move(letter)) {
  for (const auto& c : kWebChecks) this->*c.member = static_cast<int>(SettingDword(c.setting, 0));
  int stored = static_cast<int>(SettingDword("KW_Port" + letter_, 0));
  port = stored <= 0 || stored > kMaxPort ? DefaultPortForLetter(letter_) : stored;
  skin = SettingString("KW_Skin", "");
  if (skin.empty()) skin = "Default";
}

bool KestwebOptionsDlg::OnInitDialog() {
  auto& list = Ctl<ComboBox>(kSkin);
  list.ResetContent();
  if (server_) {
    for (const auto& name : server_->SkinNames()) list.AddString(name);
    if (list.Count() > 0 && list.FindStringExact(skin) < 0) skin = list.ItemText(0);
  }

  auto& accounts = Ctl<ListView>(kAccounts);
  accounts.DeleteAllItems();
  if (accounts.Columns().empty()) {
    accounts.InsertColumn(0, "Username", 100);
    accounts.InsertColumn(1, "Password", 100);
  }
  accounts.SetFullRowSelect(true);
  if (std::string path = AccountFilePath(); !path.empty()) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    int row = 0;
    for (const auto& [user, password] : ParseAccounts(text.str())) {
      accounts.InsertItem(row, user);
      accounts.SetItemText(row++, 1, password);
    }
  }
  return PropertyPage::OnInitDialog();
}

void KestwebOptionsDlg::DoDataExchange(DataExchange& dx) {
  for (const auto& c : kWebChecks) dx.Check(c.control, this->*c.member);
  dx.IntRange(kPort, port, 1, kMaxPort);
  dx.ComboText(kSkin, skin);
}

std::vector<Account> KestwebOptionsDlg::ListedAccounts() const {
  std::vector<Account> out;
  auto& list = Ctl<ListView>(kAccounts);
  for (int i = 0; i < list.ItemCount(); ++i) out.emplace_back(list.ItemText(i, 0), list.ItemText(i, 1));
  return out;
}

bool KestwebOptionsDlg::OnApply() {
  if (!UpdateData(true)) return false;
  // The account file first: when it cannot be written, nothing else changes and the page stays open.
  if (std::string path = AccountFilePath(); !path.empty()) {
    if (!WriteFileAtomically(path, FormatAccounts(ListedAccounts()), 0600)) {
      ShowMessage("Could not save the usernames and passwords to " + path + ".", kMbOk | kMbIconWarning);
      return false;
    }
  }
  for (const auto& c : kWebChecks) WriteSettingDword(c.setting, static_cast<uint32_t>(this->*c.member));
  WriteSettingDword("KW_Port" + letter_, static_cast<uint32_t>(port));
  WriteSettingString("KW_Skin", skin);
  if (server_) {
    server_->Stop();
    if (!disable && !server_->Start(port))
      ShowMessage("Could not start Glimmet HTTP server.  Port was already occupied.", kMbOk | kMbIconInformation);
  }
  return true;
}

bool KestwebOptionsDlg::OnCommand(int id) {
  switch (id) {
    case kAdd: OnAdd(); return true;
    case kEdit: OnEdit(); return true;
    case kDelete: OnDelete(); return true;
    case kEditFile: OnEditFile(); return true;
    case kViewLog: OnViewLog(); return true;
    case kClearLog: OnClearLog(); return true;
    default: return PropertyPage::OnCommand(id);
  }
}

bool KestwebOptionsDlg::AskAccount(std::string& user, std::string& password) {
  EditAccountDlg dlg(user, password);
  if (dlg.DoModal() != kIdOk) return false;
  std::string u = WithoutColons(dlg.user), p = WithoutColons(dlg.password);
  if (u.empty() || p.empty()) {
    ShowMessage("Username and password cannot be blank.", kMbOk | kMbIconInformation);
    return false;
  }
  // The file's reader would take the rest of the line for a comment.
  if (u.find('#') != std::string::npos || p.find('#') != std::string::npos) {
    ShowMessage("Username and password cannot contain \"#\".", kMbOk | kMbIconInformation);
    return false;
  }
  user = u;
  password = p;
  return true;
}

void KestwebOptionsDlg::OnAdd() {
  std::string user, password;
  if (!AskAccount(user, password)) return;
  auto& list = Ctl<ListView>(kAccounts);
  list.InsertItem(0, user);
  list.SetItemText(0, 1, password);
}

void KestwebOptionsDlg::OnEdit() {
  auto& list = Ctl<ListView>(kAccounts);
  int row = list.FirstSelected();
  if (row < 0) return;
  std::string user = list.ItemText(row, 0), password = list.ItemText(row, 1);
  if (!AskAccount(user, password)) return;
  list.SetItemText(row, 0, user);
  list.SetItemText(row, 1, password);
}

void KestwebOptionsDlg::OnDelete() {
  auto& list = Ctl<ListView>(kAccounts);
  auto rows = list.SelectedRows();
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) list.DeleteItem(*it);
}

void KestwebOptionsDlg::OnEditFile() {
  std::string path = AccountFilePath();
  if (path.empty()) {
    ShowMessage("Could not read install directory from registry.", kMbOk | kMbIconInformation);
    return;
  }
  if (!IsFile(path))
    WriteFileAtomically(path,
                        "# One user entry per line in this format: username:password\n"
                        "# Hash indicates rest of line is a comment.\n",
                        0600);
  if (IsFile(path)) OpenDocument(path, "");
  else ShowMessage("Could not create password file.", kMbOk | kMbIconInformation);
}

void KestwebOptionsDlg::OnViewLog() { OpenWithShell(AccessLogPath()); }

void KestwebOptionsDlg::OnClearLog() {
  int fd = ::open(AccessLogPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    ShowMessage("Could not clear the log " + AccessLogPath() + ".", kMbOk | kMbIconWarning);
    return;
  }
  ::close(fd);
  ShowMessage("Log cleared.", kMbOk | kMbIconInformation);
}

// --- CManagerOptionAbout

CManagerOptionAbout::CManagerOptionAbout(KernelDevice* device)
    : PropertyPage(DialogTemplate{131,
                                  "About",
                                  {{1071, ControlKind::Static, ""}, {1072, ControlKind::Button, "Driver"}}}),
      device_(device) {}

bool CManagerOptionAbout::OnInitDialog() {
  FindControl(1071)->SetText(TheProductProfile().managerName + " " + GetModuleVersionString());
  return PropertyPage::OnInitDialog();
}

bool CManagerOptionAbout::OnCommand(int id) {
  if (id != 1072) return PropertyPage::OnCommand(id);
  // The answer is not shown; a failing device changes nothing here but is logged.
  try {
    if (device_) device_->GetDriverName();
  } catch (const platform::ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    platform::LogError("about page", e.what());
  }
  return true;
}

int ShowManagerOptions(WebServerControl* server, KernelDevice* device) {
  TreePropSheet::CTreePropSheet sheet(TheProductProfile().managerName + " Options");
  sheet.SetTreeMode(true, true, false);
  sheet.SetFlags(sheet.Flags() | kPshNoApplyNow);
  COptionGeneral general;
  std::unique_ptr<KestwebOptionsDlg> web;
  std::unique_ptr<CManagerOptionAbout> about;
  sheet.AddPage(&general);
  if (server) {
    web = std::make_unique<KestwebOptionsDlg>(server, "T");
    sheet.AddPage(web.get());
  }
  if (device) {
    about = std::make_unique<CManagerOptionAbout>(device);
    sheet.AddPage(about.get());
  }
  return sheet.DoModal();
}

}  // namespace hub
