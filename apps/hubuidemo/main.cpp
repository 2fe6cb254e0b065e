// hubuidemo: shows the system's message box, progress window and option
// sheet under the driver HUB_UI_DRIVER selects (the terminal driver by
// default), so a person sees in a terminal what the program would show.
// While it runs, hubplat can answer its dialogs.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/product_profile.h"
#include "common/shell_routines.h"
#include "common/ui/progress_dialogs.h"
#include "manager/options/option_pages.h"
#include "platform/ui/control.h"
#include "platform/ui/menu.h"
#include "platform/ui/tray.h"
#include "platform/ui/ui_window.h"
#include "platform/ui/ui_types.h"
#include "webserver/skins.h"
#include "platform/program_main.h"

namespace {

void Message() {
  hub::ShowMessage("This is how the system tells you something.", hub::platform::ui::kMbOk |
                                                                     hub::platform::ui::kMbIconInformation);
}

void Progress(int count) {
  hub::CDeleteDialog progress;
  progress.Begin("Deleting files...", count);
  for (int i = 1; i <= count; ++i) {
    progress.SetStatus("track " + std::to_string(i));
    progress.Step();
    hub::PumpMessages();
  }
  progress.End();
}

// A window with a tray icon: a double-click says so, a right-click shows the
// menu; "Exit" ends the demo.
class TrayOwner : public hub::platform::ui::Window {
 public:
  static constexpr uint32_t kCallback = 0x65;
  static constexpr uint32_t kIcon = 0x80040000u;
  bool done = false;

  TrayOwner() : Window("tray demo") {
    CreateWindowModel();
    hub::platform::ui::TrayAdd({Handle(), kIcon, kCallback, 101, hub::TheProductProfile().managerName});
  }
  ~TrayOwner() override { hub::platform::ui::TrayDelete(Handle(), kIcon); }

  void OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override {
    using namespace hub::platform::ui;
    if (message == kCallback && lParam == kWmLButtonDblClk) {
      std::printf("tray icon double-clicked\n");
    } else if (message == kCallback && lParam == kWmRButtonDown) {
      Menu menu;
      menu.AppendItem(501, "Say hello");
      menu.AppendSeparator();
      menu.AppendItem(502, "Exit");
      TrackPopupMenu(menu, kTpmRightButton, Handle());
    }
    Window::OnMessage(message, wParam, lParam);
  }
  bool OnCommand(int id) override {
    if (id == 501) std::printf("hello from the tray menu\n");
    if (id == 502) done = true;
    std::fflush(stdout);
    return true;
  }
};

void Tray() {
  TrayOwner owner;
  std::printf("tray icon added; drive it with: hubplat tray double | hubplat tray right 502\n");
  std::fflush(stdout);
  while (!owner.done) hub::PumpMessages();
}

}  // namespace

static int Main(int argc, char** argv) {
  hub::SelectProduct("irivmgr.exe", hub::TheProductProfile());
  hub::platform::ui::UiControlServer control;
  std::string what = argc > 1 ? argv[1] : "all";
  if (what == "message" || what == "all") Message();
  if (what == "progress" || what == "all") Progress(argc > 2 ? std::atoi(argv[2]) : 20);
  if (what == "options") {
    struct NoServer : hub::WebServerControl {
      bool Start(int port) override {
        std::printf("(the web server would start on port %d)\n", port);
        return true;
      }
      void Stop() override {}
      std::vector<std::string> SkinNames() override { return hub::ListSkins(hub::SkinsFolder()); }
    } server;
    int rc = hub::ShowManagerOptions(&server, nullptr);
    std::printf("options sheet closed with %s\n", rc == hub::platform::ui::kIdOk ? "OK" : "Cancel");
  }
  if (what == "tray") Tray();
  if (what != "message" && what != "progress" && what != "options" && what != "tray" && what != "all") {
    std::fprintf(stderr, "usage: hubuidemo [message | progress [count] | options | tray | all]\n");
    return 2;
  }
  return 0;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
