// The manager's main window: request block server, tray icon and menu,
// web server and shutdown.
#include "manager/app/manager_wnd.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "common/explorer_refresh.h"
#include "common/folders.h"
#include "common/kdp_selector.h"
#include "common/kdp_sequence.h"
#include "common/kernel_device.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/web_port.h"
#include "common/shell_routines.h"
#include "common/sortable_id_array.h"
#include "common/text.h"
#include "common/play_through_server.h"
#include "manager/msc/kernel_device_msc_base.h"
#include "manager/options/device_dialogs.h"
#include "manager/options/option_pages.h"
#include "platform/firewall/firewall.h"
#include "platform/ui/menu.h"
#include "platform/ui/tray.h"
#include "platform/ui/ui_window.h"
#include "webserver/handler_default.h"
#include "webserver/handler_stream.h"
#include "webserver/http_server.h"
#include "webserver/skins.h"

namespace hub {
namespace {

using namespace hub::platform;
namespace ui = hub::platform::ui;

constexpr uint32_t kOpcodeConnect = 2010;
constexpr auto kJoinLimit = std::chrono::seconds(15);
constexpr const char* kNamespacePath =
    "/e,/n,::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED4420}";

KestroManagerWnd* theWindow = nullptr;
std::atomic<WindowHandle> currentWindow{0};

// The option pages restart the server through this.
class ServerControl : public WebServerControl {
 public:
  explicit ServerControl(HttpServer& server) : server_(server) {}
  bool Start(int port) override { return port > 0 && port <= 65535 && server_.Start(static_cast<uint32_t>(port)); }
  void Stop() override { server_.Stop(); }
  std::vector<std::string> SkinNames() override { return ListSkins(SkinsFolder()); }

 private:
  HttpServer& server_;
};


}  // namespace

WindowHandle CurrentManagerWindow() { return currentWindow.load(); }

KestroManagerWnd::KestroManagerWnd(DriverFactory driverFactory) : driverFactory_(std::move(driverFactory)) {
  theWindow = this;
  const ProductProfile& profile = TheProductProfile();
  AuthorizeApplication({profile.moduleInstance.path, profile.webServerName, 0, 2, true});
  try {
    mapping_ = SharedMapping::Create(profile.mappingName, kKdpBlockSize);
    pre_ = NamedSemaphore::Create(profile.preSemaphoreName, 0, 1);
    completion_ = NamedSemaphore::Create(profile.completionSemaphoreName, 0, 1);
    extension_ = NamedSemaphore::Create(profile.extensionSemaphoreName, 0, 1);
    block_ = static_cast<KdpBlock*>(mapping_->data());
    if (mapping_->created()) new (mapping_->data()) KdpBlock();
  } catch (const std::exception& e) {
    // Without the block no request can be served; clients time out and say so.
    block_ = nullptr;
    std::fprintf(stderr, "%s: the request block could not be created (%s); requests will not be served\n",
                 profile.managerName.c_str(), e.what());
  }
  installResult_ = SettingDword("Vad_InstallResult", 0);
}

KestroManagerWnd::~KestroManagerWnd() {
  currentWindow = 0;
  if (handle_) {
    ui::TrayDelete(handle_, kTrayIconId);
    KillWindowTimer(handle_, kTrayTimerId);
  }
  server_.reset();
  device_ = nullptr;
  driver_.reset();
  if (theWindow == this) theWindow = nullptr;
}

int64_t KestroManagerWnd::ClassProc(WindowHandle h, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (!theWindow) return DefaultWindowProc(h, message, wParam, lParam);
  return theWindow->WindowProc(h, message, wParam, lParam);
}

bool KestroManagerWnd::Create() {
  handle_ = CreateHiddenWindow(TheProductProfile().windowClassName, "");
  return handle_ != 0;
}

int64_t KestroManagerWnd::WindowProc(WindowHandle h, uint32_t message, uint64_t wParam, int64_t lParam) {
  // Closing in the middle of a request would pull the device from under it.
  const bool deferrable = message == kKdpRequestMessage || message == kTrayCallbackMessage ||
                          message == kWmClose || message == kImmediateExitMessage ||
                          (message == kWmCommand && wParam >= 500 && wParam <= 599) ||
                          (message == kWmCommand && wParam == kAppExitCommand);
  if (inRequest_ && deferrable) {
    deferred_.push_back({message, wParam, lParam});
    return 0;
  }
  if (message == kWmCreate) {
    handle_ = h;
    currentWindow = h;
    return OnCreate();
  }
  if (message == kWmClose) return OnClose(wParam);
  if (message == kTrayCallbackMessage) {
    OnTrayCallback(static_cast<uint32_t>(wParam), lParam);
    return 0;
  }
  if (message == kWmCommand && wParam == kAppExitCommand) {
    PostWindowMessage(h, kWmClose, 0, 0);
    return 0;
  }
  if (message == kWmCommand && wParam >= 500 && wParam <= 599) {
    OnTrayCommand(static_cast<uint32_t>(wParam));
    return 0;
  }
  if (message == kKdpRequestMessage) return OnKdpRequest(wParam);
  if (message == kImmediateExitMessage) {
    OnImmediateExit();
    return 0;
  }
  if (message == kWmTimer) {
    if (wParam != kTrayTimerId) return DefaultWindowProc(h, message, wParam, lParam);
    lastConnected_ = -1;
    RefreshTrayIcon(1);
    return 0;
  }
  if (message == kTrackStartedMessage) {
    const auto key = static_cast<int64_t>(static_cast<uint32_t>(wParam));
    if (key != lastTrackKey_) {
      lastTrackKey_ = key;
      lastConnected_ = -1;
      RefreshTrayIcon(1);
    }
    return 0;
  }
  if (message == kPlaybackStoppedMessage) {
    lastTrackKey_ = -1;
    return 0;
  }
  if (message == kWmActivate) {
    // Another start of this product brought us forward.
    std::printf("%s is already running.\n", TheProductProfile().managerName.c_str());
    std::fflush(stdout);
    return 0;
  }
  if (taskbarCreated_ != 0 && message == taskbarCreated_) {
    iconShown_ = 0;
    RefreshTrayIcon(0);
  }
  return DefaultWindowProc(h, message, wParam, lParam);
}

int64_t KestroManagerWnd::OnCreate() {
  taskbarCreated_ = RegisterWindowMessageName("TaskbarCreated");
  if (installResult_ & kInstallDeviceSupport) {
    driver_ = driverFactory_ ? driverFactory_() : nullptr;
    if (driver_) driver_->Initialize();
    if (driver_ && (installResult_ & kInstallDeviceAndServer)) {
      device_ = driver_->CreateDevice(KernelId(0u), KernelId(0u));
      if (device_) {
        server_ = std::make_unique<HttpServer>(device_);
        server_->AddHandler(std::make_unique<HandlerDefault>(server_.get()));
        server_->AddHandler(std::make_unique<HandlerStream>(server_.get()));
        server_->AddHandler(std::make_unique<HandlerData>(server_.get()));
        if (SettingDword("KW_Disable", 0) == 0) {
          const uint32_t port = ManagerWebPort();
          if (server_->Start(port)) {
            std::printf("%s: web server listening on http://127.0.0.1:%u/\n",
                        TheProductProfile().managerName.c_str(), server_->Port());
          } else {
            std::printf("%s: the web server could not listen on port %u\n",
                        TheProductProfile().managerName.c_str(), port);
          }
          std::fflush(stdout);
        }
      }
    }
  }
  SetWindowTimer(handle_, kTrayTimerId, 1000);
  RefreshTrayIcon(0);
  return 0;
}

int64_t KestroManagerWnd::OnKdpRequest(uint64_t wParam) {
  // Not serving, or a message whose request was given up or already answered.
  if (!block_ || !KdpRequestMatches(*block_, wParam)) return 0;
  pre_->Release();
  if (block_->opcode == kOpcodeConnect && skipNextConnect_) {
    skipNextConnect_ = 0;
  } else {
    if (ManagerServesSelector(TheProductProfile().productNumber, block_->selector) && device_) {
      inRequest_ = true;
      try {
        device_->DispatchRequest(*block_);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: request %u failed: %s\n", TheProductProfile().managerName.c_str(),
                     block_->opcode, e.what());
      }
      inRequest_ = false;
    }
  }
  MarkKdpAnswered(*block_, static_cast<uint32_t>(wParam));
  mapping_->Flush();
  if (block_->extensionTime != 0) {
    extension_->Release();
  } else {
    completion_->Release();
  }
  // What arrived meanwhile runs now, in its order.
  while (!deferred_.empty()) {
    Deferred d = deferred_.front();
    deferred_.pop_front();
    PostWindowMessage(handle_, d.message, d.wParam, d.lParam);
  }
  return 0;
}

void KestroManagerWnd::RefreshTrayIcon(int action) {
  const int driverPresent = driver_ != nullptr;
  const int connected = device_ && device_->IsConnected() ? 1 : 0;
  if (driverPresent == iconShown_ && connected == lastConnected_) return;
  if (driverPresent != iconShown_) {
    ui::TrayDelete(handle_, kTrayIconId);
    action = 0;
  }
  iconShown_ = driverPresent;
  lastConnected_ = connected;
  if (!driver_ || !device_ || !(installResult_ & kInstallDeviceAndServer)) return;
  ui::TrayIconData icon;
  icon.owner = handle_;
  icon.id = kTrayIconId;
  icon.callbackMessage = kTrayCallbackMessage;
  icon.iconId = connected ? 415 : 416;
  icon.tip = Utf8Cut(TheProductProfile().managerName + " - " + "iRiver", 63);
  // After an Explorer restart the icon may already be gone or still there.
  if (action == 0) {
    if (!ui::TrayAdd(icon)) ui::TrayModify(icon);
  } else if (!ui::TrayModify(icon)) {
    ui::TrayAdd(icon);
  }
}

void KestroManagerWnd::OnTrayCallback(uint32_t iconId, int64_t mouseMessage) {
  if (mouseMessage == ui::kWmLButtonDblClk && iconId == kTrayIconId) {
    OpenDocument("explorer.exe", kNamespacePath);
  } else if (mouseMessage == ui::kWmRButtonDown) {
    clickedIcon_ = iconId;
    ShowTrayMenu();
  }
}

void KestroManagerWnd::ShowTrayMenu() {
  const ProductProfile& profile = TheProductProfile();
  const std::string label = clickedIcon_ == kTrayIconId ? "iRiver" : "";
  KernelDevice* device = clickedIcon_ == kTrayIconId ? device_ : nullptr;
  const bool selfConnecting = device && device->DeviceOp2310() != 0;
  const bool connected = device && device->IsConnected() != 0;
  ui::Menu menu;
  if (!selfConnecting) {
    menu.AppendItem(501, "Connect " + label, connected ? ui::kMfGrayed : 0);
    menu.AppendItem(502, "Disconnect " + label, connected ? 0 : ui::kMfGrayed);
    menu.AppendSeparator();
  }
  if (device && device->DeviceOp2320() != 0) {
    menu.AppendItem(525, "Eject " + label, !selfConnecting && connected ? ui::kMfGrayed : 0);
    menu.AppendSeparator();
  }
  const uint32_t needsConnection = !selfConnecting && !connected ? ui::kMfGrayed : 0;
  menu.AppendItem(503, "Open " + profile.explorerName + " ...", needsConnection);
  menu.AppendItem(504, "Browse " + profile.webServerName + " ...", needsConnection);
  if (device && connected && device->SupportsDevicePlayback()) {
    KernelId item;
    const int count = device->GetFirstQueueItem(item);
    if (count != 0) {
      const bool paused = device->IsPaused() != 0;
      ui::Menu queue;
      queue.AppendItem(511, "Next Track");
      queue.AppendItem(510, "Previous Track");
      queue.AppendSeparator();
      queue.AppendItem(507, "Play");
      queue.AppendItem(509, paused ? "Resume" : "Pause");
      queue.AppendItem(508, "Stop");
      queue.AppendSeparator();
      queue.AppendItem(512, "Set Volume");
      std::string title = "Active Queue (Paused)";
      if (!paused) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Active Queue (Playing %d/%d)", device->GetQueuePosition() + 1, count);
        title = buf;
      }
      menu.AppendSubmenu(title, std::move(queue));
    }
  }
  menu.AppendSeparator();
  menu.AppendItem(524, profile.managerName + " Options...");
  menu.AppendItem(506, "About " + profile.managerName + "...");
  menu.AppendSeparator();
  menu.AppendItem(kAppExitCommand, "Exit " + profile.managerName);
  ui::TrackPopupMenu(menu, ui::kTpmRightButton, handle_);
  PostWindowMessage(handle_, kWmNull, 0, 0);
}

void KestroManagerWnd::OnTrayCommand(uint32_t id) {
  KernelDevice* device = clickedIcon_ == kTrayIconId ? device_ : nullptr;
  const bool connected = device && device->IsConnected() != 0;
  switch (id) {
    case 501:
      if (device) device->Connect(0);
      lastConnected_ = -1;
      RefreshTrayIcon(1);
      RefreshExplorerAfterConnect();
      break;
    case 502:
      skipNextConnect_ = 1;
      if (device) device->Disconnect();
      lastConnected_ = -1;
      RefreshTrayIcon(1);
      RefreshExplorerAfterDisconnect();
      break;
    case 503: OpenDocument("explorer.exe", kNamespacePath); break;
    case 504: OpenWithShell("http://localhost:" + std::to_string(WebPort()) + "/"); break;
    case 506: ShowAbout(); break;
    case 507: if (connected) device->PlayCurrentQueueItem(); break;
    case 508: if (connected) device->StopPlayback(); break;
    case 509: if (connected) device->SetPaused(device->IsPaused() ? 0 : 1); break;
    case 510: if (connected) device->PlayPreviousQueueItem(); break;
    case 511: if (connected) device->PlayNextQueueItem(); break;
    case 512:
      if (connected) {
        VolumeDialog dialog(device, 0);
        dialog.DoModal();
      }
      break;
    case 523: PlayAllTracks(); break;
    case 524: ShowOptions(); break;
    case 525:
      if (device) device->Eject();
      lastConnected_ = -1;
      break;
    default: break;
  }
  RefreshTrayIcon(1);
}

void KestroManagerWnd::ShowAbout() {
  ui::PropertySheet sheet(TheProductProfile().managerName + " Options");
  sheet.SetFlags(sheet.Flags() | ui::kPshNoApplyNow);
  CManagerOptionAbout about(device_);
  sheet.AddPage(&about);
  sheet.DoModal();
}

void KestroManagerWnd::ShowOptions() {
  std::unique_ptr<ServerControl> control;
  if (server_) control = std::make_unique<ServerControl>(*server_);
  ShowManagerOptions(control.get(), device_);
}

void KestroManagerWnd::PlayAllTracks() {
  if (clickedIcon_ != kTrayIconId || !device_) return;
  SortableKernelIdArray ids(device_);
  KernelId id;
  for (int more = device_->GetFirstTrack(id); more; more = device_->GetNextTrack(id)) ids.push_back(id);
  ids.Sort(-1);
  PlayThroughServer(*device_, ids);
}

uint32_t KestroManagerWnd::WebPort() const { return ManagerWebPort(); }

void KestroManagerWnd::JoinDeviceWork() {
  if (auto* msc = dynamic_cast<KernelDeviceMSCBase*>(device_)) msc->WaitForSaves(kJoinLimit);
  if (device_) {
    // A copy for the web server holds the device lock while it runs.
    const auto end = std::chrono::steady_clock::now() + kJoinLimit;
    std::unique_lock lock(device_->Mutex(), std::defer_lock);
    while (!lock.try_lock() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ui::TrayDelete(handle_, kTrayIconId);
}

void KestroManagerWnd::OnImmediateExit() {
  // Ends without the rest of the clean-up, but never in the middle of writing the player's database.
  JoinDeviceWork();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(1);
}

int64_t KestroManagerWnd::OnClose(uint64_t wParam) {
  const ProductProfile& profile = TheProductProfile();
  // Ctrl-C without a terminal to answer on closes without the question.
  const bool canAsk = wParam != kCloseFromSignal || ::isatty(STDIN_FILENO);
  if (SettingDword("Gen_DisableKestMgrCloseConfirm", 0) == 0 && canAsk) {
    const std::string text = "We recommend that you do not close " + profile.managerName + ".\n\n" +
                             profile.explorerName +
                             " needs the Manager to be running to communicate with your player.\n\nDo you still want to close " +
                             profile.managerName + "?";
    if (ShowMessage(text, ui::kMbYesNo | ui::kMbIconQuestion) != ui::kIdYes) return 0;
  }
  if (driver_ && device_) {
    device_->Disconnect();
    if (server_) server_->Stop();
  }
  JoinDeviceWork();
  MakeCleanTempFolder(kTempTx2Pc);
  MakeCleanTempFolder(kTempPipecast);
  MakeCleanTempFolder(kTempSurgecast);
  KillWindowTimer(handle_, kTrayTimerId);
  DestroyWindow(handle_);
  PostQuitMessage(0);
  return 0;
}

}  // namespace hub
