// The UiDriver decides what a person would do with each message box, modal
// dialog, menu and folder chooser. The scripted driver plays a queue of
// intended actions (tests); the terminal driver prints to a terminal and asks
// on a TTY, taking the default without one. HUB_UI_DRIVER ("scripted" or
// "terminal") or the program chooses.
#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/menu.h"
#include "platform/ui/prompts.h"
#include "platform/ui/ui_types.h"
#include "platform/ui/ui_window.h"

namespace hub::platform::ui {

class Window;

class UiDriver {
 public:
  virtual ~UiDriver() = default;
  virtual const char* Name() const = 0;
  virtual int AskMessageBox(const MessageBoxRequest& request) = 0;
  // Acts on the modal window until it has ended.
  virtual void RunModal(Window& window) = 0;
  // The chosen command, 0 when dismissed.
  virtual uint32_t ChooseMenuItem(const Menu& menu, WindowHandle owner) = 0;
  virtual std::optional<std::string> ChooseFolder(const FolderRequest& request) = 0;
  // The name typed or picked in a file chooser (ChooseFile checks it); nothing: cancelled.
  virtual std::optional<std::string> ChooseFile(const FileRequest& request) = 0;
  virtual std::optional<uint32_t> ChooseColor(const ColorRequest& request) = 0;
  // A window was shown, hidden, or a control a person watches changed.
  virtual void WindowChanged(Window& /*window*/) {}
  virtual void WindowDestroyed(Window& /*window*/) {}
  // A window's closing summary, for a person to read.
  virtual void ShowReport(Window& /*window*/, const std::string& /*text*/) {}
  // How long a modeless window waits for a person before it takes its
  // default (-1: as long as it takes).
  virtual int ModelessWaitMs() const { return 0; }
  // What a person typed for a modeless window waiting for them (never blocks).
  virtual std::optional<UiAction> PollModelessInput(Window& /*window*/) { return std::nullopt; }
  // The next step of a drag in progress. The steps queued with PushDragSteps
  // come first; with none queued a person who is not there lets go where
  // nothing takes the drop (Escape).
  virtual DragStep NextDragStep();
  void PushDragSteps(std::initializer_list<DragStep> steps);
  void PushDragSteps(const std::vector<DragStep>& steps);
  size_t PendingDragSteps() const { return dragSteps_.size(); }
  void ClearDragSteps() { dragSteps_.clear(); }

 protected:
  std::optional<DragStep> TakeDragStep();

 private:
  std::deque<DragStep> dragSteps_;
};

UiDriver& TheUiDriver();
// Installs a driver for the process; returns the previous one.
std::unique_ptr<UiDriver> SetUiDriver(std::unique_ptr<UiDriver> driver);
// From HUB_UI_DRIVER: "scripted" gives an empty script, anything else the terminal driver.
std::unique_ptr<UiDriver> MakeUiDriverFromEnvironment();

// Plays a queue of actions. An action that does not fit, or a modal window,
// message box, menu or chooser with nothing scripted for it, throws
// UiScriptError at once with a message that says what was waiting. Work
// posted to the UI thread runs before each step of a modal window; a Pump
// step waits for it, a Call step runs the test's hook.
class ScriptedUiDriver : public UiDriver {
 public:
  const char* Name() const override { return "scripted"; }
  void Push(UiAction action);
  void Push(std::initializer_list<UiAction> actions);
  size_t Pending() const { return script_.size(); }

  // Everything a person would have seen, one line each ("message: <caption>: <text>" ...).
  const std::vector<std::string>& Transcript() const { return transcript_; }
  const std::vector<MessageBoxRequest>& Messages() const { return messages_; }

  int AskMessageBox(const MessageBoxRequest& request) override;
  void RunModal(Window& window) override;
  uint32_t ChooseMenuItem(const Menu& menu, WindowHandle owner) override;
  std::optional<std::string> ChooseFolder(const FolderRequest& request) override;
  std::optional<std::string> ChooseFile(const FileRequest& request) override;
  std::optional<uint32_t> ChooseColor(const ColorRequest& request) override;
  void WindowChanged(Window& window) override;
  void ShowReport(Window& window, const std::string& text) override;
  // A drag with no step queued fails the script.
  DragStep NextDragStep() override;

 private:
  UiAction Next(const std::string& waiting);
  // Runs Pump and Call steps at the head of the script.
  void RunScriptSteps();
  std::deque<UiAction> script_;
  std::vector<std::string> transcript_;
  std::vector<MessageBoxRequest> messages_;
};

// Prints to `out`; reads answers from `inFd` when it is a TTY (or when
// `interactive` says so), and takes answers sent by hubplat. Without either
// it waits HUB_UI_WAIT_MS milliseconds (default 0; -1: no limit) for hubplat,
// then takes the default.
class TerminalUiDriver : public UiDriver {
 public:
  explicit TerminalUiDriver(FILE* out = stdout, int inFd = 0, std::optional<bool> interactive = std::nullopt);
  const char* Name() const override { return "terminal"; }

  int AskMessageBox(const MessageBoxRequest& request) override;
  void RunModal(Window& window) override;
  uint32_t ChooseMenuItem(const Menu& menu, WindowHandle owner) override;
  std::optional<std::string> ChooseFolder(const FolderRequest& request) override;
  std::optional<std::string> ChooseFile(const FileRequest& request) override;
  std::optional<uint32_t> ChooseColor(const ColorRequest& request) override;
  void WindowChanged(Window& window) override;
  void WindowDestroyed(Window& window) override;
  void ShowReport(Window& window, const std::string& text) override;
  int ModelessWaitMs() const override { return interactive_ ? -1 : waitMs_; }
  std::optional<UiAction> PollModelessInput(Window& window) override;

 private:
  // A line typed on the terminal or an action from hubplat; nothing on time-out or end of input.
  struct Answer {
    std::optional<std::string> line;
    std::optional<UiAction> action;
  };
  // Runs work posted to the UI thread and due timers while it waits; `ended`
  // (when given) stops the wait once the modal window has ended.
  Answer Wait(const std::string& prompt, const Window* ended = nullptr);
  void DrawProgress(Window& window);
  void DrawOwnLine(Window& window, const Window::StatusLine& line);
  void EndProgressLine();

  FILE* out_;
  int inFd_;
  bool interactive_;
  bool tty_out_;
  int waitMs_;
  std::string inBuffer_;
  WindowHandle barWindow_ = 0;  // the window whose bar is on the current line
  int lastPercent_ = -1;
  int lastGroup_ = -1;
  int64_t lastDrawMs_ = 0;
  std::string unprinted_;  // the bar's latest state when a log did not get it yet
};

// Test hook: a driver of its own for the process while in scope (by default
// an empty script); the driver it replaced is back afterwards.
//   ScopedUiDriver<> ui;  ui->Push(UiAction::Answer(kIdOk));
template <class Driver = ScriptedUiDriver>
class ScopedUiDriver {
 public:
  template <class... Args>
  explicit ScopedUiDriver(Args&&... args) {
    auto driver = std::make_unique<Driver>(std::forward<Args>(args)...);
    driver_ = driver.get();
    previous_ = SetUiDriver(std::move(driver));
  }
  ~ScopedUiDriver() { SetUiDriver(std::move(previous_)); }
  ScopedUiDriver(const ScopedUiDriver&) = delete;
  ScopedUiDriver& operator=(const ScopedUiDriver&) = delete;

  Driver& operator*() const { return *driver_; }
  Driver* operator->() const { return driver_; }
  Driver* get() const { return driver_; }

 private:
  Driver* driver_;
  std::unique_ptr<UiDriver> previous_;
};

}  // namespace hub::platform::ui
