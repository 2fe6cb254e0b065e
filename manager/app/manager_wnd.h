// KestroManagerWnd: the manager's hidden main window. It serves the request
// block (mapping and three semaphores) to the shell library's clients, owns
// the device-family driver, the device and the web server, keeps the tray
// icon with its menu, and shuts the program down.
#pragma once

#include "common/web_port.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "common/kdp_block.h"
#include "common/kernel_device.h"
#include "common/kernel_driver.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/window/window.h"

namespace hub {

class HttpServer;
class KernelDevice;

inline constexpr uint32_t kKdpRequestMessage = 0x464;
inline constexpr uint32_t kImmediateExitMessage = 0x4C8;
inline constexpr uint32_t kTrackStartedMessage = 0x7ED;
inline constexpr uint32_t kPlaybackStoppedMessage = 0x7EE;
inline constexpr uint32_t kTrayCallbackMessage = 0x65;
inline constexpr uint32_t kWmActivate = 0x0006;
inline constexpr uint32_t kTrayIconId = 0x80040000u;
inline constexpr uint32_t kTrayTimerId = 15;
inline constexpr uint32_t kAppExitCommand = 57665;
inline constexpr uint32_t kInstallDeviceSupport = 1u << 31;
inline constexpr uint32_t kInstallDeviceAndServer = 1u << 18;
inline constexpr uint32_t kDefaultManagerPort = kDefaultWebPort;
// wParam of a WM_CLOSE posted for Ctrl-C or a termination request.
inline constexpr uint64_t kCloseFromSignal = 0x5349474Eu;

using DriverFactory = std::function<std::unique_ptr<KernelDriver>()>;

// The manager's window from its creation to its destruction (0 otherwise);
// safe to read from any thread.
platform::WindowHandle CurrentManagerWindow();

class KestroManagerWnd {
 public:
  // Authorises the program with the firewall, creates the request block and
  // its semaphores (a failure is reported and leaves requests unserved) and
  // reads the install result.
  explicit KestroManagerWnd(DriverFactory driverFactory);
  ~KestroManagerWnd();
  KestroManagerWnd(const KestroManagerWnd&) = delete;
  KestroManagerWnd& operator=(const KestroManagerWnd&) = delete;

  // The class procedure for ActivatePreviousInstance: routes to the one window object.
  static int64_t ClassProc(platform::WindowHandle h, uint32_t message, uint64_t wParam, int64_t lParam);
  // Creates the hidden window (WM_CREATE runs here); false when that failed.
  bool Create();
  platform::WindowHandle Handle() const { return handle_; }
  bool Serving() const { return block_ != nullptr; }
  KernelDevice* Device() const { return device_; }
  HttpServer* Server() const { return server_.get(); }

  int64_t WindowProc(platform::WindowHandle h, uint32_t message, uint64_t wParam, int64_t lParam);
  void RefreshTrayIcon(int action);

 private:
  int64_t OnCreate();
  int64_t OnKdpRequest(uint64_t wParam);
  int64_t OnClose(uint64_t wParam);
  void OnImmediateExit();
  void OnTrayCallback(uint32_t iconId, int64_t mouseMessage);
  void OnTrayCommand(uint32_t id);
  void ShowTrayMenu();
  void ShowAbout();
  void ShowOptions();
  void PlayAllTracks();
  // Lets running saves and copies end (bounded), then removes the icon.
  void JoinDeviceWork();
  uint32_t WebPort() const;

  struct Deferred {
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
  };

  DriverFactory driverFactory_;
  platform::WindowHandle handle_ = 0;
  int iconShown_ = 0;
  int lastConnected_ = -1;
  std::unique_ptr<platform::SharedMapping> mapping_;
  KdpBlock* block_ = nullptr;
  std::unique_ptr<platform::NamedSemaphore> pre_, completion_, extension_;
  std::unique_ptr<KernelDriver> driver_;
  KernelDevice* device_ = nullptr;
  std::unique_ptr<HttpServer> server_;
  uint32_t installResult_ = 0;
  uint32_t clickedIcon_ = 0;
  int skipNextConnect_ = 0;
  uint32_t taskbarCreated_ = 0;
  int64_t lastTrackKey_ = -1;
  // Requests and tray commands that arrived while a request was being
  // served (a nested message loop); posted again once it returns.
  bool inRequest_ = false;
  std::deque<Deferred> deferred_;
};

}  // namespace hub
