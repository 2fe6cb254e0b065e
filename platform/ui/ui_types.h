// Shared vocabulary of the headless user interface: message-box types and
// answers (the Windows numbers, since callers and stored settings use them),
// rectangles, and the actions a person - or a script - takes.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace hub::platform::ui {

using WindowHandle = uint32_t;  // 0: no window

// Message-box buttons, icons and flags.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr uint32_t kMbYesNoCancel = 0x3;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbRetryCancel = 0x5;
inline constexpr uint32_t kMbButtonMask = 0xF;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr uint32_t kMbIconMask = 0xF0;
inline constexpr uint32_t kMbDefButton2 = 0x100;
inline constexpr uint32_t kMbDefButton3 = 0x200;
inline constexpr uint32_t kMbDefMask = 0xF00;
inline constexpr uint32_t kMbTopmost = 0x40000;

// Answers of message boxes and modal dialogs.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Window messages the model delivers to real windows.
inline constexpr uint32_t kWmCommand = 0x111;
inline constexpr uint32_t kWmNull = 0x0;
inline constexpr uint32_t kWmLButtonDblClk = 0x203;
inline constexpr uint32_t kWmRButtonDown = 0x204;
inline constexpr uint32_t kWmRButtonUp = 0x205;

// Keys the model understands.
inline constexpr int kVkTab = 0x09;

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// One thing a person does. A script is a queue of these; hubplat sends them too.
struct UiAction {
  enum class Kind {
    Press,          // press button `id` (IDOK, IDCANCEL or a control)
    Set,            // set control `id` to `text` (edit text, check state, slider position, combo entry, list rows, tree path)
    SelectPage,     // make the property-sheet page captioned `text` (or numbered `id`) active
    Key,            // a key press: `id` = virtual key, `text` holds "ctrl", "shift", "ctrl+shift" or ""
    AnswerMessage,  // answer a message box with button `id`
    ChooseMenu,     // choose menu command `id` (0: dismiss the menu)
    PickFolder,     // pick folder `text` in a folder chooser (empty `text`: cancel)
    PickFile,       // pick file `text` in a file chooser (empty `text`: cancel)
    PickColor,      // pick colour `text` in a colour chooser ("0xBBGGRR" or "#RRGGBB"; empty: cancel)
    DropFiles,      // drop the files of `text` (one path a line) on the window
    Pump,           // scripts only: wait at most `id` ms for work posted to the UI thread and run it
    Call,           // scripts only: run `call` (a test's hook between two steps)
  };
  Kind kind = Kind::Press;
  int id = 0;
  std::string text;
  std::function<void()> call;

  static UiAction Press(int id) { return {Kind::Press, id, {}, {}}; }
  static UiAction Set(int id, std::string value) { return {Kind::Set, id, std::move(value), {}}; }
  static UiAction SelectPage(std::string caption) { return {Kind::SelectPage, -1, std::move(caption), {}}; }
  static UiAction Key(int vk, std::string modifiers) { return {Kind::Key, vk, std::move(modifiers), {}}; }
  static UiAction Answer(int button) { return {Kind::AnswerMessage, button, {}, {}}; }
  static UiAction ChooseMenu(int command) { return {Kind::ChooseMenu, command, {}, {}}; }
  static UiAction PickFolder(std::string path) { return {Kind::PickFolder, 0, std::move(path), {}}; }
  static UiAction PickFile(std::string path) { return {Kind::PickFile, 0, std::move(path), {}}; }
  static UiAction PickColor(std::string color) { return {Kind::PickColor, 0, std::move(color), {}}; }
  static UiAction DropFiles(const std::vector<std::string>& paths);
  static UiAction Pump(int timeoutMs) { return {Kind::Pump, timeoutMs, {}, {}}; }
  static UiAction Call(std::function<void()> hook) { return {Kind::Call, 0, {}, std::move(hook)}; }
  // The paths of a DropFiles action.
  std::vector<std::string> DroppedFiles() const;

  std::string Describe() const;
};

// One step of a drag, as a person moves the mouse: over a window (and a point
// in it), a change of buttons and modifier keys (MK_ bits), Escape, or letting
// the buttons go (the drop).
struct DragStep {
  enum class Kind { Over, Keys, Escape, Release };
  Kind kind = Kind::Release;
  WindowHandle window = 0;
  Point point;
  uint32_t keys = 0;

  static DragStep Over(WindowHandle window, Point point = {}) { return {Kind::Over, window, point, 0}; }
  static DragStep Keys(uint32_t keys) { return {Kind::Keys, 0, {}, keys}; }
  static DragStep Escape() { return {Kind::Escape, 0, {}, 0}; }
  static DragStep Release() { return {Kind::Release, 0, {}, 0}; }
};

// A script or a person asked for something the window cannot do, or a modal
// window opened that nobody is going to answer.
class UiScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace hub::platform::ui
