// The tool bar and the status bar of the model: buttons with an image, a
// command, a state and a text (checked ones are shown in brackets), and the
// parts of a status bar with their texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/controls.h"

namespace hub::platform::ui {

inline constexpr uint8_t kTbstateChecked = 0x1;
inline constexpr uint8_t kTbstateEnabled = 0x4;
inline constexpr uint8_t kTbstyleButton = 0x0;
inline constexpr uint8_t kTbstyleSep = 0x1;
inline constexpr uint8_t kTbstyleCheck = 0x2;
inline constexpr uint8_t kBtnsAutoSize = 0x10;

class Toolbar : public Control {
 public:
  using Control::Control;
  struct Button {
    int image = 0;
    int command = 0;
    uint8_t state = kTbstateEnabled;
    uint8_t style = kTbstyleButton;
    std::string text;
  };
  // Adds `count` images; answers the index of the first.
  int AddBitmap(int count);
  int ImageCount() const;
  void ClearImages() { images_ = 0; }
  // Adds texts; answers the index of the first. Buttons name them by index.
  int AddStrings(const std::vector<std::string>& texts);
  std::string String(int index) const;
  void AddButton(const Button& button);
  void AddButtons(const std::vector<Button>& buttons);
  void DeleteAllButtons();
  std::vector<Button> Buttons() const;
  int ButtonCount() const;
  // False when no button has the command.
  bool CheckButton(int command, bool checked);
  bool IsChecked(int command) const;
  bool HasButton(int command) const;
  void AutoSize();
  int AutoSizeCount() const;
  // Pressing a button sends its command to the window, as a click does.
  bool Press(int command);

  // "[Mute] Play | Next": checked buttons in brackets, separators as "|".
  std::string Value() const override;
  // The text or command of a button presses it.
  bool ApplyUserValue(std::string_view value, std::string& error) override;

 private:
  std::vector<Button> buttons_;
  std::vector<std::string> strings_;
  int images_ = 0;
  int autoSized_ = 0;
};

class StatusBar : public Control {
 public:
  using Control::Control;
  // Right edges of the parts (-1: to the end); at least one part.
  void SetParts(const std::vector<int>& rightEdges);
  std::vector<int> Parts() const;
  void SetPartText(int part, std::string_view text);
  std::string PartText(int part) const;
  // Answers how many part changes were made (a redraw of the bar).
  int Writes() const;

  // "part0 | part1 | part2".
  std::string Value() const override;

 private:
  std::vector<int> parts_{-1};
  std::vector<std::string> texts_{std::string()};
  int writes_ = 0;
};

}  // namespace hub::platform::ui
