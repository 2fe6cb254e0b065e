// Manager start-up and message loop.
#include "manager/app/manager_app.h"

#include <filesystem>
#include <system_error>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/kernel/clock.h"
#include "platform/ui/pump.h"
#include "platform/ui/ui_types.h"
#include "webserver/skins.h"

namespace hub {
namespace {

using namespace hub::platform;
namespace fs = std::filesystem;

constexpr uint32_t kInfo = ui::kMbIconInformation;
constexpr uint32_t kSwRestore = 9;
// How long a second copy waits for the first one's window to appear.
constexpr uint32_t kPreviousWindowWaitMs = 10000;

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r' || text[b] == '\n')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r' || text[e - 1] == '\n')) --e;
  return std::string(text.substr(b, e - b));
}

// Brings the window forward: it is told so with WM_ACTIVATE.
void BringForward(WindowHandle window) {
  PostWindowMessage(window, kWmActivate, 1, kSwRestore);
}

}  // namespace

bool RegisterSkinFile(std::string_view pathText) {
  const ProductProfile& profile = TheProductProfile();
  const fs::path path{std::string(pathText)};
  const std::string stem = path.stem().string();
  const std::string extension = AsciiLower(path.extension().string());
  if (extension != AsciiLower(profile.skinExtension)) {
    char buf[2048];
    std::snprintf(buf, sizeof buf, "The file \"%s\" does not appear to be a valid %s Skin file.",
                  std::string(pathText).c_str(), profile.webServerName.c_str());
    ShowTopmostMessage(buf, kInfo);
    return false;
  }
  const std::string appData = SettingString("Gen_AppDataDir", "");
  const std::string shownName = stem + extension;
  if (appData.empty()) {
    ShowTopmostMessage("Glimmet Skin \"" + shownName + "\" could not be registered: no application data folder is set.",
                       kInfo);
    return false;
  }
  const fs::path skins = fs::path(appData) / "skins";
  std::error_code ec;
  fs::create_directories(skins, ec);
  if (!ec) fs::copy_file(path, skins / (stem + extension), fs::copy_options::overwrite_existing, ec);
  if (ec) {
    ShowTopmostMessage("Glimmet Skin \"" + shownName + "\" could not be registered: " + ec.message() + ".", kInfo);
    return false;
  }
  ShowTopmostMessage("Glimmet Skin \"" + shownName + "\" has been registered.", kInfo);
  return true;
}

int ActivatePreviousInstance(std::string_view className, WindowProc proc) {
  if (WindowHandle other = FindWindowByClass(className)) {
    BringForward(other);
    return 0;
  }
  return RegisterWindowClass(className, std::move(proc)) ? 1 : 0;
}

KestroManagerApp::~KestroManagerApp() { mainWindow_.reset(); }

bool KestroManagerApp::InitInstance(const char* argv0, std::string_view commandLine) {
  ProductProfile& profile = TheProductProfile();
  FillProductProfileFromModule(profile, ModuleInstance::FromProgram(argv0));

  if (SettingDword("Vad_InstallResult", 0) == 0) {
    ShowTopmostMessage(profile.managerName + " could not start.  No device support options were detected.\n\n" +
                           profile.displayName +
                           " may not have been properly installed.  Please make sure you are installing\nunder the "
                           "Windows user account in which you will be running " +
                           profile.displayName + ".\n\n" +
                           "If you keep getting this message, please contact our technical support\n" +
                           "and refer to error code 629 so we can help you get the problem resolved.",
                       kInfo);
    return false;
  }

  if (size_t at = commandLine.find("-s"); at != std::string_view::npos) {
    std::string rest(commandLine.substr(at + 2));
    std::erase(rest, '"');
    RegisterSkinFile(Trim(rest));
    return false;
  }

  // One copy per product: the lock is held for the process lifetime, so a
  // copy starting at the same moment waits for this one's window instead.
  instanceLock_.emplace(FileLock::Named("manager" + profile.objectNameCode));
  if (!instanceLock_->TryLock()) {
    const uint64_t end = TickCount64() + kPreviousWindowWaitMs;
    while (TickCount64() < end) {
      if (WindowHandle other = FindWindowByClass(profile.windowClassName)) {
        BringForward(other);
        return false;
      }
      SleepMs(20);
    }
    return false;
  }

  if (ActivatePreviousInstance(profile.windowClassName, &KestroManagerWnd::ClassProc) == 0) return false;
  mainWindow_ = std::make_unique<KestroManagerWnd>(driverFactory_);
  if (!mainWindow_->Create()) return false;

  for (std::string_view sub : {kTempTx2Pc, kTempPipecast, kTempSurgecast, kTempSkin}) MakeCleanTempFolder(sub);
  InstallDefaultSkin(ShippedDefaultSkin());
  return true;
}

int KestroManagerApp::Run() {
  int exitCode = 0;
  Message msg;
  for (;;) {
    MessageWait wait = WaitWindowMessage(msg, 50);
    if (wait == MessageWait::Quit) {
      exitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (wait == MessageWait::Message) DispatchWindowMessage(msg);
    ui::ProcessPendingUiWork();
  }
  mainWindow_.reset();
  return exitCode;
}

}  // namespace hub
