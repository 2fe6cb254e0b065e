// The other process of the window and kernel-object tests. Each mode plays
// one side of an exchange, says "ready <handle>" on stdout when it can be
// reached, and ends by itself within its time limit.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/kernel/clock.h"
#include "platform/kernel/file_lock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/window/window.h"

using namespace hub::platform;

namespace {

// Only a backstop for a test that dies without reaping its peer (ChildProcess
// kills it otherwise), so it outlasts any test on a loaded machine.
constexpr uint32_t kLifeMs = 180000;
constexpr uint32_t kRequest = 0x464;
constexpr uint32_t kExit = 0x4C8;

void Ready(WindowHandle h) {
  std::printf("ready %08x\n", h);
  std::fflush(stdout);
}

// Runs the loop until quit or the time limit; answers the exit code.
int Loop() {
  uint64_t end = TickCount64() + kLifeMs;
  Message msg;
  for (;;) {
    uint64_t now = TickCount64();
    if (now >= end) return 3;
    MessageWait w = WaitWindowMessage(msg, static_cast<uint32_t>(end - now));
    if (w == MessageWait::Quit) return static_cast<int>(msg.wParam);
    if (w == MessageWait::TimedOut) return 3;
    DispatchWindowMessage(msg);
  }
}

// The manager's side of a request: mapping, three semaphores, 0x464.
int KdpServer(const std::string& code) {
  const std::string cls = "KDPWNC" + code;
  auto mapping = SharedMapping::Create("KDPMAP" + code, 17352);
  auto pre = NamedSemaphore::Create("KDPSEMPRE" + code, 0, 1);
  auto cmp = NamedSemaphore::Create("KDPSEMCMP" + code, 0, 1);
  auto ext = NamedSemaphore::Create("KDPSEMEXT" + code, 0, 1);
  RegisterWindowClass(cls, [&](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == kRequest) {
      pre->Release();
      char* block = static_cast<char*>(mapping->data());
      std::string asked(block + 100, strnlen(block + 100, 256));
      std::snprintf(block + 400, 256, "answer to %s", asked.c_str());
      mapping->Flush();
      cmp->Release();
      return 0;
    }
    if (m == kExit) std::_Exit(1);
    return DefaultWindowProc(h, m, w, l);
  });
  WindowHandle h = CreateHiddenWindow(cls, "KDP server");
  if (!h) return 2;
  std::printf("created %d\n", mapping->created() ? 1 : 0);
  Ready(h);
  return Loop();
}

// A window whose thread never looks at its messages.
int Hang(const char* cls) {
  RegisterWindowClass(cls, DefaultWindowProc);
  WindowHandle h = CreateHiddenWindow(cls, "hung");
  if (!h) return 2;
  Ready(h);
  SleepMs(kLifeMs);
  return 0;
}

// Answers 0x500 with wParam * 2; on 0x501 sends 0x502 back to the window in
// wParam (the caller, who must serve it while it waits) and adds one.
int Echo(const char* cls) {
  RegisterWindowClass(cls, [](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == 0x500) return static_cast<int64_t>(w * 2);
    if (m == 0x501) {
      int64_t back = 0;
      if (!SendWindowMessage(static_cast<WindowHandle>(w), 0x502, 0, l, 5000, &back)) return -1;
      return back + 1;
    }
    if (m == kWmUser) PostQuitMessage(0);
    if (m == 0x503) {
      DestroyWindow(h);  // the process lives on without it
      return 1;
    }
    return DefaultWindowProc(h, m, w, l);
  });
  WindowHandle h = CreateHiddenWindow(cls, "echo title");
  if (!h) return 2;
  Ready(h);
  return Loop();
}

// A window whose drop target prints what it is given: "enter <formats>",
// "over", "leave", "drop <paths>"; it takes file lists only (copy).
class PrintingTarget final : public IDropTarget {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT DragEnter(IDataObject* data, uint32_t, ShellPoint, uint32_t* effect) override {
    std::string line = "enter";
    for (const FORMATETC& f : OfferedFormats(data)) line += " " + std::to_string(f.cfFormat);
    Say(line);
    accept_ = OffersFormat(data, CF_HDROP);
    *effect = accept_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT DragOver(uint32_t keys, ShellPoint, uint32_t* effect) override {
    Say("over " + std::to_string(keys));
    *effect = accept_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT DragLeave() override {
    Say("leave");
    return S_OK;
  }
  HRESULT Drop(IDataObject* data, uint32_t, ShellPoint, uint32_t* effect) override {
    std::string line = "drop";
    auto bytes = TakeFormatBytes(data, CF_HDROP);
    auto paths = bytes ? ParseDropFiles(bytes->data(), bytes->size()) : std::nullopt;
    for (const auto& p : paths.value_or(std::vector<std::string>{"<none>"})) line += " " + p;
    Say(line);
    *effect = paths ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }

 private:
  static void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  bool accept_ = false;
};

int DropTarget(const char* cls) {
  RegisterWindowClass(cls, [](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == kWmUser) PostQuitMessage(0);
    return DefaultWindowProc(h, m, w, l);
  });
  WindowHandle h = CreateHiddenWindow(cls, "drop here");
  if (!h) return 2;
  static PrintingTarget target;
  if (RegisterDragDrop(h, &target) != S_OK) return 2;
  Ready(h);
  int rc = Loop();
  RevokeDragDrop(h);
  return rc;
}

// Sleeps before looping, so that posts pile up; then checks they came in
// order (wParam 0, 1, 2 ...) and prints how many came before the quit post.
int Count(const char* cls, const char* delayMs) {
  uint64_t expected = 0;
  bool inOrder = true;
  RegisterWindowClass(cls, [&](WindowHandle h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == 0x600) {
      inOrder = inOrder && w == expected;
      ++expected;
    } else if (m == 0x601) {
      PostQuitMessage(0);
    }
    return DefaultWindowProc(h, m, w, l);
  });
  WindowHandle h = CreateHiddenWindow(cls, "counter");
  if (!h) return 2;
  Ready(h);
  SleepMs(static_cast<uint32_t>(std::atoi(delayMs)));
  int rc = Loop();
  std::printf("count %llu %s\n", static_cast<unsigned long long>(expected), inOrder ? "ordered" : "disordered");
  std::fflush(stdout);
  return rc;
}

// Posts a burst (0x600 with wParam 0, 1, ...; then 0x601) to the window of
// the class and exits at once, before the receiver has read them.
int PostBurst(const char* cls, const char* count) {
  WindowHandle h = FindWindowByClass(cls);
  if (!h) return 2;
  int n = std::atoi(count);
  for (int i = 0; i < n; ++i)
    if (!PostWindowMessage(h, 0x600, static_cast<uint64_t>(i), 0)) return 1;
  return PostWindowMessage(h, 0x601, 0, 0) ? 0 : 1;
}

int Register(const char* name) {
  std::printf("message %04x\n", RegisterWindowMessageName(name));
  return 0;
}

// Holds a file lock, a mapping and a semaphore until killed.
int Hold(const char* lockPath, const char* map) {
  FileLock lock(lockPath);
  lock.Lock();
  auto mapping = SharedMapping::Create(map, 4096);
  std::memset(mapping->data(), 0x5A, 4096);
  auto sem = NamedSemaphore::Create(std::string(map) + ".sem", 0, 1);
  std::printf("ready 0\n");
  std::fflush(stdout);
  SleepMs(kLifeMs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "kdp-server" && argc == 3) return KdpServer(argv[2]);
  if (mode == "hang" && argc == 3) return Hang(argv[2]);
  if (mode == "echo" && argc == 3) return Echo(argv[2]);
  if (mode == "drop-target" && argc == 3) return DropTarget(argv[2]);
  if (mode == "count" && argc == 4) return Count(argv[2], argv[3]);
  if (mode == "post-burst" && argc == 4) return PostBurst(argv[2], argv[3]);
  if (mode == "register" && argc == 3) return Register(argv[2]);
  if (mode == "hold" && argc == 4) return Hold(argv[2], argv[3]);
  std::fprintf(stderr, "usage: window_peer kdp-server|hang|echo|count|register|hold ...\n");
  return 64;
}
