// hubwarden: the device manager daemon. Started under a product's manager
// name (irivmgr for the iRiver product), it owns the player, serves the
// request block and the web, and keeps a tray icon. Ctrl-C (or a termination
// request) closes it as the window's close would.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/kernel_device.h"
#include "common/product_profile.h"
#include "manager/app/family_driver.h"
#include "manager/app/manager_app.h"
#include "manager/msc/track_info_reader.h"
#include "platform/ui/control.h"
#include "platform/window/window.h"
#include "shell/transfer/metadata/track_info.h"
#include "sql/sql_query_engine.h"
#include "platform/program_main.h"

namespace {

// Module-level objects, in the order the program builds them.
struct ModuleObjects {
  // The clipboard format that marks drags from the namespace onto itself.
  uint32_t noTransferToSelf = hub::platform::RegisterWindowMessageName("Quorral Explorer No Transfer to Self");
  hub::KestroManagerApp app{&hub::CreateFamilyDriver};
  // Ids the web server's page templates keep between requests.
  std::vector<hub::KernelId> templateIds;
};

// Turns SIGINT and SIGTERM into a close of the main window, on a thread of
// its own so the close runs as an ordinary message. Before there is a window
// (a start-up message on the terminal) they end the program as usual.
void WatchSignals(sigset_t set) {
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (sig == SIGUSR2) return;  // the program is ending
    const hub::platform::WindowHandle window = hub::CurrentManagerWindow();
    if (!window || !hub::platform::PostWindowMessage(window, hub::platform::kWmClose, hub::kCloseFromSignal, 0))
      std::_Exit(128 + sig);
  }
}

// The rebuild of a lost database reads each file's own tags, as a transfer
// would; names come from the path only where the file has none.
class FileTrackInfoReader : public hub::TrackInfoReader {
 public:
  bool Read(const std::string& nativePath, hub::_AUDIODATA& record) override {
    hub::ReadTrackTags(nativePath, record);
    return true;
  }
};

}  // namespace

static int Main(int argc, char** argv) {
  // Blocked before any thread starts, so only the watcher takes them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);

  std::string commandLine;
  for (int i = 1; i < argc; ++i) commandLine += (i > 1 ? " " : "") + std::string(argv[i]);

  std::thread signals(WatchSignals, set);
  struct StopWatching {
    std::thread& thread;
    ~StopWatching() {
      pthread_kill(thread.native_handle(), SIGUSR2);
      thread.join();
    }
  } stopWatching{signals};

  hub::InstallSqlQueryEngine();
  hub::SetTrackInfoReader(std::make_shared<FileTrackInfoReader>());
  ModuleObjects objects;
  if (!objects.app.InitInstance(argv[0], commandLine)) return 0;

  hub::platform::ui::UiControlServer control;
  return objects.app.Run();
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
