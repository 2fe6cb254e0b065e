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
#include "platform/ui/ui_types.h"

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

}  // namespace

int main(int argc, char** argv) {
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
    } server;
    int rc = hub::ShowManagerOptions(&server, nullptr);
    std::printf("options sheet closed with %s\n", rc == hub::platform::ui::kIdOk ? "OK" : "Cancel");
  }
  if (what != "message" && what != "progress" && what != "options" && what != "all") {
    std::fprintf(stderr, "usage: hubuidemo [message | progress [count] | options | all]\n");
    return 2;
  }
  return 0;
}
