// The pages of the manager's options sheet (general settings, the web
// server with its remote-access accounts, About), the account editor, and
// the sheet itself as the tray's Options command shows it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/kernel_device.h"
#include "platform/ui/ui_window.h"

namespace hub {

// What the web-server page needs of the server: a restart on a new port and
// the skins it can serve (the server lives above the manager's pages).
class WebServerControl {
 public:
  virtual ~WebServerControl() = default;
  // False when the port cannot be used.
  virtual bool Start(int port) = 0;
  virtual void Stop() = 0;
  // The skins folder's skins, sorted; empty when there is no such folder.
  virtual std::vector<std::string> SkinNames() = 0;
};

class COptionGeneral : public platform::ui::PropertyPage {
 public:
  COptionGeneral();  // reads the settings
  int disableCloseConfirm = 0;
  int enableContextMenu = 1;
  int disableManagerTimeout = 0;
  int disableSystrayProgress = 0;

  void DoDataExchange(platform::ui::DataExchange& dx) override;
  void OnOK() override;  // writes the settings
};

using Account = std::pair<std::string, std::string>;  // user name, password

// The account file: a "#" starts a comment; lines without ":" are skipped.
std::vector<Account> ParseAccounts(std::string_view text);
std::string FormatAccounts(const std::vector<Account>& accounts);
// The port shown when the stored one is unusable (0, negative or above 65535).
int DefaultPortForLetter(std::string_view letter);
// "<Gen_AppDataDir>/httpauth.txt", empty when the folder setting is missing.
std::string AccountFilePath();

class EditAccountDlg : public platform::ui::Dialog {
 public:
  EditAccountDlg(std::string user, std::string password);
  std::string user;
  std::string password;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
};

class KestwebOptionsDlg : public platform::ui::PropertyPage {
 public:
  enum : int {
    kDisable = 1000, kBlockRemote = 1001, kPort = 1002, kSkin = 1004, kClearLog = 1006, kRequireAuth = 1007,
    kEditFile = 1008, kLogLocal = 1009, kLogRemote = 1010, kLogPages = 1011, kViewLog = 1012, kOldSkinMode = 1015,
    kEdit = 1024, kDelete = 1025, kAccounts = 1035, kAdd = 1038,
  };

  // `server` may be null (no web server); `letter` ends the port setting's name.
  KestwebOptionsDlg(WebServerControl* server, std::string letter);

  int disable = 0;
  int port = 0;
  std::string skin;
  int blockRemote = 0;
  int requireAuth = 0;
  int logLocal = 0;
  int logRemote = 0;
  int logPages = 0;
  int oldSkinMode = 0;

  bool OnInitDialog() override;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  bool OnApply() override;
  bool OnCommand(int id) override;

 private:
  std::vector<Account> ListedAccounts() const;
  // Asks for an account; false when cancelled or refused (the refusal was shown).
  bool AskAccount(std::string& user, std::string& password);
  void OnAdd();
  void OnEdit();
  void OnDelete();
  void OnEditFile();
  void OnViewLog();
  void OnClearLog();

  WebServerControl* server_;
  std::string letter_;
};

class CManagerOptionAbout : public platform::ui::PropertyPage {
 public:
  // The driver-name button asks `device` (may throw; dropped).
  explicit CManagerOptionAbout(KernelDevice* device);
  bool OnInitDialog() override;
  bool OnCommand(int id) override;

 private:
  KernelDevice* device_;
};

// The tray's Options command: the tree-style sheet titled manager name +
// " Options" with the general page, the web page when there is a server and
// About when there is a device. Returns IDOK or IDCANCEL.
int ShowManagerOptions(WebServerControl* server, KernelDevice* device);

}  // namespace hub
