// The scripted and the terminal UiDriver, and the choice between them.
#include "platform/ui/driver.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/ui/pump.h"
#include "platform/ui/ui_window.h"

namespace hub::platform::ui {
namespace {

// The slot is read by whichever thread asks first and swapped by tests; the
// driver itself is used by one thread at a time.
std::mutex g_slotMutex;

std::unique_ptr<UiDriver>& DriverSlot() {
  static std::unique_ptr<UiDriver> driver;
  return driver;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string ModalName(const Window& w) {
  std::string name = std::string("modal ") + w.KindName() + " " + Quote(w.Caption());
  if (w.TemplateId()) name += " (template " + std::to_string(w.TemplateId()) + ")";
  return name;
}

const char* IconName(uint32_t type) {
  switch (type & kMbIconMask) {
    case kMbIconError: return "error";
    case kMbIconQuestion: return "question";
    case kMbIconWarning: return "warning";
    case kMbIconInformation: return "information";
    default: return nullptr;
  }
}

Progress* ProgressOf(Window& w) {
  for (Control* c : w.Controls())
    if (auto* p = dynamic_cast<Progress*>(c)) return p;
  return nullptr;
}

std::string StatusOf(Window& w) {
  for (Control* c : w.Controls())
    if (c->Kind() == ControlKind::Static && c->IsVisible() && !c->Text().empty()) return c->Text();
  return {};
}

std::string TrimLine(std::string s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// "ok", "cancel", "press 1038", "1002=8051", "page Web", "key ctrl+tab".
std::optional<UiAction> ParseCommand(const std::string& line, std::string& error) {
  if (line == "ok") return UiAction::Press(kIdOk);
  if (line == "cancel") return UiAction::Press(kIdCancel);
  if (line.rfind("press ", 0) == 0) return UiAction::Press(std::atoi(line.c_str() + 6));
  if (line.rfind("page ", 0) == 0) return UiAction::SelectPage(line.substr(5));
  if (line.rfind("file ", 0) == 0) return UiAction::PickFile(line.substr(5));
  if (line.rfind("color ", 0) == 0) return UiAction::PickColor(line.substr(6));
  if (line.rfind("drop ", 0) == 0) {
    std::vector<std::string> paths;
    for (size_t at = 5; at <= line.size();) {
      size_t bar = line.find('|', at);
      if (bar == std::string::npos) bar = line.size();
      if (bar > at) paths.push_back(line.substr(at, bar - at));
      at = bar + 1;
    }
    return UiAction::DropFiles(paths);
  }
  if (line == "key ctrl+tab") return UiAction::Key(kVkTab, "ctrl");
  if (line == "key ctrl+shift+tab") return UiAction::Key(kVkTab, "ctrl+shift");
  if (size_t eq = line.find('='); eq != std::string::npos && eq > 0) {
    int id = std::atoi(line.substr(0, eq).c_str());
    if (id != 0) return UiAction::Set(id, line.substr(eq + 1));
  }
  error = "not understood: " + line +
          " (try: ok, cancel, press <id>, <id>=<value>, page <caption>, drop <path>|<path>, file <path>, color #RRGGBB)";
  return std::nullopt;
}

}  // namespace

UiDriver& TheUiDriver() {
  std::lock_guard lock(g_slotMutex);
  auto& slot = DriverSlot();
  if (!slot) slot = MakeUiDriverFromEnvironment();
  return *slot;
}

std::unique_ptr<UiDriver> SetUiDriver(std::unique_ptr<UiDriver> driver) {
  std::lock_guard lock(g_slotMutex);
  auto previous = std::move(DriverSlot());
  DriverSlot() = std::move(driver);
  return previous;
}

std::unique_ptr<UiDriver> MakeUiDriverFromEnvironment() {
  const char* name = std::getenv("HUB_UI_DRIVER");
  if (name && std::strcmp(name, "scripted") == 0) return std::make_unique<ScriptedUiDriver>();
  return std::make_unique<TerminalUiDriver>();
}

// --- ScriptedUiDriver

void ScriptedUiDriver::Push(UiAction action) { script_.push_back(std::move(action)); }
void ScriptedUiDriver::Push(std::initializer_list<UiAction> actions) {
  for (const auto& a : actions) script_.push_back(a);
}

void ScriptedUiDriver::RunScriptSteps() {
  while (!script_.empty() &&
         (script_.front().kind == UiAction::Kind::Pump || script_.front().kind == UiAction::Kind::Call)) {
    UiAction step = std::move(script_.front());
    script_.pop_front();
    if (step.kind == UiAction::Kind::Call) {
      if (step.call) step.call();
    } else {
      WaitForUiWork(step.id);
    }
  }
}

UiAction ScriptedUiDriver::Next(const std::string& waiting) {
  RunScriptSteps();
  if (script_.empty()) {
    std::string message = "unanswered " + waiting + ": the script has no action left for it";
    std::fprintf(stderr, "ui script: %s\n", message.c_str());
    throw UiScriptError(message);
  }
  UiAction a = script_.front();
  script_.pop_front();
  return a;
}

int ScriptedUiDriver::AskMessageBox(const MessageBoxRequest& request) {
  messages_.push_back(request);
  transcript_.push_back("message: " + request.caption + ": " + request.text);
  std::string what = "message box " + Quote(request.text);
  UiAction a = Next(what);
  if (a.kind != UiAction::Kind::AnswerMessage)
    throw UiScriptError(what + " appeared, but the next scripted action is to " + a.Describe());
  for (int b : request.Buttons())
    if (b == a.id) return b;
  throw UiScriptError(what + " has no button " + ButtonName(a.id));
}

void ScriptedUiDriver::RunModal(Window& window) {
  transcript_.push_back(std::string(window.KindName()) + ": " + window.Caption());
  while (!window.IsEnded()) {
    ProcessPostedUiWork();
    if (window.IsEnded()) break;
    if (!script_.empty() &&
        (script_.front().kind == UiAction::Kind::Pump || script_.front().kind == UiAction::Kind::Call)) {
      UiAction step = std::move(script_.front());
      script_.pop_front();
      if (step.kind == UiAction::Kind::Call) {
        if (step.call) step.call();
      } else {
        WaitForUiWork(step.id);
      }
      continue;
    }
    window.ApplyAction(Next(ModalName(window)));
  }
}

uint32_t ScriptedUiDriver::ChooseMenuItem(const Menu& menu, WindowHandle) {
  transcript_.push_back("menu:\n" + menu.Describe(1));
  UiAction a = Next("popup menu");
  if (a.kind != UiAction::Kind::ChooseMenu)
    throw UiScriptError("a popup menu opened, but the next scripted action is to " + a.Describe());
  if (a.id == 0) return 0;
  const Menu::Item* item = menu.FindItem(a.id);
  if (!item || !item->Selectable())
    throw UiScriptError("menu command " + std::to_string(a.id) + (item ? " is greyed" : " is not in the menu"));
  return a.id;
}

std::optional<std::string> ScriptedUiDriver::ChooseFolder(const FolderRequest& request) {
  transcript_.push_back("folder chooser: " + request.title);
  UiAction a = Next("folder chooser " + Quote(request.title));
  if (a.kind != UiAction::Kind::PickFolder)
    throw UiScriptError("a folder chooser opened, but the next scripted action is to " + a.Describe());
  if (a.text.empty()) return std::nullopt;
  return a.text;
}

void ScriptedUiDriver::ShowReport(Window& window, const std::string& text) {
  transcript_.push_back("report: " + window.Caption() + ":\n" + text);
}

std::optional<std::string> ScriptedUiDriver::ChooseFile(const FileRequest& request) {
  transcript_.push_back(std::string(request.save ? "save" : "open") + " file chooser: " + request.title);
  UiAction a = Next("file chooser " + Quote(request.title));
  if (a.kind != UiAction::Kind::PickFile)
    throw UiScriptError("a file chooser opened, but the next scripted action is to " + a.Describe());
  if (a.text.empty()) return std::nullopt;
  return a.text;
}

std::optional<uint32_t> ScriptedUiDriver::ChooseColor(const ColorRequest& request) {
  transcript_.push_back("colour chooser: " + FormatColor(request.initial));
  UiAction a = Next("colour chooser");
  if (a.kind != UiAction::Kind::PickColor)
    throw UiScriptError("a colour chooser opened, but the next scripted action is to " + a.Describe());
  if (a.text.empty()) return std::nullopt;
  std::optional<uint32_t> color = ParseColor(a.text);
  if (!color) throw UiScriptError("not a colour: " + a.text);
  return color;
}

void ScriptedUiDriver::WindowChanged(Window& window) {
  if (Progress* p = ProgressOf(window); p && window.IsVisible())
    transcript_.push_back("progress: " + window.Caption() + ": " + p->Value());
}

// --- TerminalUiDriver

TerminalUiDriver::TerminalUiDriver(FILE* out, int inFd, std::optional<bool> interactive)
    : out_(out), inFd_(inFd), interactive_(interactive.value_or(::isatty(inFd) == 1)),
      tty_out_(::isatty(::fileno(out)) == 1) {
  const char* wait = std::getenv("HUB_UI_WAIT_MS");
  waitMs_ = wait && *wait ? std::atoi(wait) : 0;
}

TerminalUiDriver::Answer TerminalUiDriver::Wait(const std::string& prompt, const Window* ended) {
  if (auto a = TakeRemoteAction()) return {std::nullopt, a};
  if (interactive_) {
    std::fputs(prompt.c_str(), out_);
    std::fflush(out_);
  }
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs_, 0));
  while (true) {
    // Work a dialog's own worker posted runs while the person thinks.
    ProcessPostedUiWork();
    if (ended && ended->IsEnded()) return {};
    if (size_t nl = inBuffer_.find('\n'); interactive_ && nl != std::string::npos) {
      std::string line = inBuffer_.substr(0, nl);
      inBuffer_.erase(0, nl + 1);
      return {TrimLine(line), std::nullopt};
    }
    pollfd fds[3] = {{RemoteActionFd(), POLLIN, 0}, {PendingUiWorkFd(), POLLIN, 0}, {inFd_, POLLIN, 0}};
    int timeout = -1;
    if (!interactive_ && waitMs_ >= 0)
      timeout = static_cast<int>(std::max<int64_t>(
          0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    bool timerFirst = false;
    if (int timer = MsUntilNextUiTimer(); timer >= 0 && (timeout < 0 || timer < timeout)) {
      timeout = timer;
      timerFirst = true;
    }
    int n = ::poll(fds, interactive_ ? 3 : 2, timeout);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {};
    if (n == 0) {
      if (timerFirst) continue;
      return {};
    }
    if (fds[1].revents & POLLIN) continue;
    if (fds[0].revents & POLLIN)
      if (auto a = TakeRemoteAction()) return {std::nullopt, a};
    if (interactive_ && (fds[2].revents & (POLLIN | POLLHUP))) {
      char buf[256];
      ssize_t got = ::read(inFd_, buf, sizeof buf);
      if (got <= 0) {  // end of input: the person is gone, defaults from here on
        interactive_ = false;
        if (!inBuffer_.empty()) {
          std::string line = inBuffer_;
          inBuffer_.clear();
          return {TrimLine(line), std::nullopt};
        }
        return {};
      }
      inBuffer_.append(buf, static_cast<size_t>(got));
    }
  }
}

int TerminalUiDriver::AskMessageBox(const MessageBoxRequest& request) {
  EndProgressLine();
  std::fprintf(out_, "\n=== %s ===\n", request.caption.c_str());
  if (const char* icon = IconName(request.type)) std::fprintf(out_, "(%s) ", icon);
  std::fprintf(out_, "%s\n", request.text.c_str());
  std::string choices;
  for (int b : request.Buttons())
    choices += std::string(choices.empty() ? "" : "/") + (b == request.DefaultButton() ? "[" : "") + ButtonName(b) +
               (b == request.DefaultButton() ? "]" : "");
  std::fflush(out_);
  while (true) {
    Answer ans = Wait("Answer " + choices + ": ");
    int button = 0;
    if (ans.action && ans.action->kind == UiAction::Kind::AnswerMessage) button = ans.action->id;
    else if (ans.line) button = ans.line->empty() ? request.DefaultButton() : ParseButton(*ans.line);
    else if (!ans.action) button = request.DefaultButton();
    for (int b : request.Buttons())
      if (b == button) {
        std::fprintf(out_, "-> %s\n", ButtonName(b));
        std::fflush(out_);
        return b;
      }
    std::fprintf(out_, "Please answer one of %s.\n", choices.c_str());
  }
}

void TerminalUiDriver::RunModal(Window& window) {
  EndProgressLine();
  std::fprintf(out_, "\n%s", window.Describe().c_str());
  if (auto* sheet = dynamic_cast<PropertySheet*>(&window); sheet && sheet->ActivePage())
    std::fprintf(out_, "  %s", sheet->ActivePage()->Describe().c_str());
  if (interactive_) std::fputs("(ok, cancel, press <id>, <id>=<value>, page <caption>)\n", out_);
  std::fflush(out_);
  int defaults = 0;
  while (!window.IsEnded()) {
    Answer ans = Wait("> ", &window);
    if (window.IsEnded()) break;
    std::optional<UiAction> action = ans.action;
    if (ans.line) {
      std::string error;
      if (ans.line->empty() || *ans.line == "show") {
        std::fputs(window.Describe().c_str(), out_);
        continue;
      }
      action = ParseCommand(*ans.line, error);
      if (!action) std::fprintf(out_, "%s\n", error.c_str());
    } else if (!ans.action) {
      // Nobody answers: the default button, then Cancel, then close.
      int step = defaults++;
      if (step == 0) action = UiAction::Press(window.DefaultButton());
      else if (step == 1) action = UiAction::Press(kIdCancel);
      else {
        window.EndModal(kIdCancel);
        break;
      }
      std::fprintf(out_, "-> %s (no answer)\n", action->Describe().c_str());
    }
    if (!action) continue;
    try {
      window.ApplyAction(*action);
      // A person at the terminal sees the result, as they would on the screen.
      if (interactive_ && !window.IsEnded()) {
        std::fputs(window.Describe().c_str(), out_);
        if (auto* sheet = dynamic_cast<PropertySheet*>(&window); sheet && sheet->ActivePage() &&
                                                                 sheet->ActivePage()->IsVisible())
          std::fprintf(out_, "  %s", sheet->ActivePage()->Describe().c_str());
      }
    } catch (const UiScriptError& e) {
      std::fprintf(out_, "%s\n", e.what());
    }
    std::fflush(out_);
  }
}

uint32_t TerminalUiDriver::ChooseMenuItem(const Menu& menu, WindowHandle) {
  EndProgressLine();
  std::fputs("\nMenu:\n", out_);
  std::fputs(menu.Describe(1).c_str(), out_);
  std::fflush(out_);
  while (true) {
    Answer ans = Wait("Command number (empty: none): ");
    uint32_t id = 0;
    if (ans.action && ans.action->kind == UiAction::Kind::ChooseMenu) id = static_cast<uint32_t>(ans.action->id);
    else if (ans.line && !ans.line->empty()) id = static_cast<uint32_t>(std::atoi(ans.line->c_str()));
    if (id == 0) return 0;
    const Menu::Item* item = menu.FindItem(id);
    if (item && item->Selectable()) return id;
    std::fprintf(out_, "%u is not a command that can be chosen.\n", id);
  }
}

std::optional<std::string> TerminalUiDriver::ChooseFolder(const FolderRequest& request) {
  EndProgressLine();
  std::fprintf(out_, "\n%s\n", request.title.c_str());
  if (!request.initialFolder.empty()) std::fprintf(out_, "(starting in %s)\n", request.initialFolder.c_str());
  std::fflush(out_);
  Answer ans = Wait("Folder (empty: cancel): ");
  std::string path;
  if (ans.action && ans.action->kind == UiAction::Kind::PickFolder) path = ans.action->text;
  else if (ans.line) path = *ans.line;
  if (path.empty()) return std::nullopt;
  return path;
}

std::optional<std::string> TerminalUiDriver::ChooseFile(const FileRequest& request) {
  EndProgressLine();
  std::fprintf(out_, "\n%s%s\n", request.save ? "Save: " : "Open: ", request.title.c_str());
  for (const auto& [text, patterns] : request.Filters()) std::fprintf(out_, "  type %s\n", text.c_str());
  if (!request.initialFolder.empty()) std::fprintf(out_, "(starting in %s)\n", request.initialFolder.c_str());
  if (!request.fileName.empty()) std::fprintf(out_, "(proposed %s)\n", request.fileName.c_str());
  std::fflush(out_);
  Answer ans = Wait("File (empty: cancel): ");
  std::string path;
  if (ans.action && ans.action->kind == UiAction::Kind::PickFile) path = ans.action->text;
  else if (ans.line) path = *ans.line;
  std::fprintf(out_, "-> %s\n", path.empty() ? "cancel" : path.c_str());
  if (path.empty()) return std::nullopt;
  return path;
}

std::optional<uint32_t> TerminalUiDriver::ChooseColor(const ColorRequest& request) {
  EndProgressLine();
  std::fprintf(out_, "\nColor (now %s)\n", FormatColor(request.initial).c_str());
  std::fflush(out_);
  while (true) {
    Answer ans = Wait("Colour as 0xBBGGRR or #RRGGBB (empty: cancel): ");
    std::string text;
    if (ans.action && ans.action->kind == UiAction::Kind::PickColor) text = ans.action->text;
    else if (ans.line) text = *ans.line;
    if (text.empty()) {
      std::fprintf(out_, "-> cancel\n");
      return std::nullopt;
    }
    if (auto color = ParseColor(text)) {
      std::fprintf(out_, "-> %s\n", FormatColor(*color).c_str());
      return color;
    }
    std::fprintf(out_, "%s is not a colour.\n", text.c_str());
    if (!interactive_ && !ans.action) return std::nullopt;
  }
}

void TerminalUiDriver::WindowChanged(Window& window) {
  if (!ProgressOf(window)) return;
  if (!window.IsVisible()) {
    if (barWindow_ == window.Handle()) EndProgressLine();
    return;
  }
  DrawProgress(window);
}

void TerminalUiDriver::WindowDestroyed(Window& window) {
  if (barWindow_ == window.Handle()) EndProgressLine();
}

void TerminalUiDriver::ShowReport(Window&, const std::string& text) {
  EndProgressLine();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

std::optional<UiAction> TerminalUiDriver::PollModelessInput(Window& window) {
  if (!interactive_) return std::nullopt;
  pollfd p{inFd_, POLLIN, 0};
  if (inBuffer_.find('\n') == std::string::npos && ::poll(&p, 1, 0) > 0) {
    char buf[256];
    ssize_t got = ::read(inFd_, buf, sizeof buf);
    if (got <= 0) {  // end of input: nobody will answer, the default it is
      interactive_ = false;
      return UiAction::Press(window.DefaultButton());
    }
    inBuffer_.append(buf, static_cast<size_t>(got));
  }
  size_t nl = inBuffer_.find('\n');
  if (nl == std::string::npos) return std::nullopt;
  std::string line = TrimLine(inBuffer_.substr(0, nl));
  inBuffer_.erase(0, nl + 1);
  if (line.empty() || line == "close") return UiAction::Press(window.DefaultButton());
  std::string error;
  auto action = ParseCommand(line, error);
  if (!action) {
    std::fprintf(out_, "%s\n", error.c_str());
    std::fflush(out_);
  }
  return action;
}

void TerminalUiDriver::DrawProgress(Window& window) {
  if (auto own = window.OwnStatusLine()) {
    DrawOwnLine(window, *own);
    return;
  }
  Progress* p = ProgressOf(window);
  // 64 bits: a range of bytes or tracks times 100 does not fit an int.
  int64_t span = int64_t(p->Max()) - p->Min();
  int64_t done = std::clamp<int64_t>(int64_t(p->Pos()) - p->Min(), 0, std::max<int64_t>(span, 0));
  int percent = span > 0 ? static_cast<int>(done * 100 / span) : 0;
  if (barWindow_ != window.Handle()) {
    EndProgressLine();
    barWindow_ = window.Handle();
    lastPercent_ = -1;
  }
  constexpr int kWidth = 30;
  std::string bar(static_cast<size_t>(percent * kWidth / 100), '#');
  bar.resize(kWidth, '-');
  std::string status = StatusOf(window);
  char line[512];
  std::snprintf(line, sizeof line, "%s [%s] %3d%% %s", window.Caption().c_str(), bar.c_str(), percent, status.c_str());
  if (tty_out_) {
    std::fprintf(out_, "\r\033[K%s", line);
  } else if (percent / 25 != lastPercent_ / 25 || lastPercent_ < 0) {
    // Logs get a line per quarter, not a redraw per step.
    std::fprintf(out_, "%s\n", line);
    unprinted_.clear();
  } else {
    unprinted_ = line;
  }
  lastPercent_ = percent;
  std::fflush(out_);
}

// A window's own line: on a terminal redrawn at most ten times a second
// (a new step always), in a log one line per step with where it ended.
void TerminalUiDriver::DrawOwnLine(Window& window, const Window::StatusLine& line) {
  if (line.text.empty()) return;  // the window shows no line now; the last one stays
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch()).count();
  if (barWindow_ != window.Handle()) {
    EndProgressLine();
    barWindow_ = window.Handle();
    lastGroup_ = -1;
    lastDrawMs_ = 0;
  }
  const bool newGroup = line.group != lastGroup_;
  if (tty_out_) {
    if (!newGroup && now - lastDrawMs_ < 100) {
      unprinted_ = line.text;
    } else {
      std::fprintf(out_, "\r\033[K%s", line.text.c_str());
      unprinted_.clear();
      lastDrawMs_ = now;
    }
  } else {
    if (newGroup && !unprinted_.empty()) std::fprintf(out_, "%s\n", unprinted_.c_str());
    unprinted_ = line.text;
  }
  lastGroup_ = line.group;
  std::fflush(out_);
}

void TerminalUiDriver::EndProgressLine() {
  if (!barWindow_) return;
  barWindow_ = 0;
  if (tty_out_ && !unprinted_.empty()) std::fprintf(out_, "\r\033[K%s", unprinted_.c_str());
  // A log ends with where the bar stopped.
  std::fputs(tty_out_ ? "\n" : unprinted_.empty() ? "" : (unprinted_ + "\n").c_str(), out_);
  unprinted_.clear();
  std::fflush(out_);
}

}  // namespace hub::platform::ui

namespace hub::platform::ui {

void UiDriver::PushDragSteps(std::initializer_list<DragStep> steps) {
  dragSteps_.insert(dragSteps_.end(), steps.begin(), steps.end());
}
void UiDriver::PushDragSteps(const std::vector<DragStep>& steps) {
  dragSteps_.insert(dragSteps_.end(), steps.begin(), steps.end());
}
std::optional<DragStep> UiDriver::TakeDragStep() {
  if (dragSteps_.empty()) return std::nullopt;
  DragStep s = dragSteps_.front();
  dragSteps_.pop_front();
  return s;
}
DragStep UiDriver::NextDragStep() { return TakeDragStep().value_or(DragStep::Escape()); }

DragStep ScriptedUiDriver::NextDragStep() {
  if (auto s = TakeDragStep()) return *s;
  throw UiScriptError("a drag is under way, but no drag step is scripted");
}

}  // namespace hub::platform::ui
