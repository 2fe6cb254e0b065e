// KestroManagerApp: the manager program's start-up (may it run, skin
// registration, one copy per product, the main window, clean temporary
// folders) and its message loop.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "manager/app/manager_wnd.h"
#include "platform/kernel/file_lock.h"

namespace hub {

// Copies a skin file into "<Gen_AppDataDir>/skins/" and says how that went;
// true when it was registered.
bool RegisterSkinFile(std::string_view path);

// 0 when another copy runs (it is brought forward), else whether the window
// class could be registered (1) or not (0).
int ActivatePreviousInstance(std::string_view className, platform::WindowProc proc);

class KestroManagerApp {
 public:
  explicit KestroManagerApp(DriverFactory driverFactory) : driverFactory_(std::move(driverFactory)) {}
  ~KestroManagerApp();

  // argv0 selects the product; `commandLine` is the rest of the command line
  // as one text. False: end the program now.
  bool InitInstance(const char* argv0, std::string_view commandLine);
  // Runs the message loop until the main window is gone; the exit code.
  int Run();
  KestroManagerWnd* MainWindow() const { return mainWindow_.get(); }

 private:
  DriverFactory driverFactory_;
  // Held for the process lifetime: two managers starting together never both run.
  std::optional<platform::FileLock> instanceLock_;
  std::unique_ptr<KestroManagerWnd> mainWindow_;
};

}  // namespace hub
