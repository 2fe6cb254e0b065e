// The two small dialogs many commands use: a modeless top-most progress
// window for long work on a selection, and a one-line name prompt.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/ui_window.h"

namespace hub {

class CDeleteDialog : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 513;
  static constexpr int kStatus = 1001;
  static constexpr int kProgress = 1002;

  CDeleteDialog();
  ~CDeleteDialog() override;

  // Shows the window top-most and centred with a bar of 0..count, step 1, position 0.
  void Begin(std::string_view caption, int count);
  // The status line (usually the current item's name).
  void SetStatus(std::string_view text);
  void Step();
  platform::ui::Progress* Bar() const;
  // Hides and destroys the window.
  void End();
};

class CNameDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 526;
  static constexpr int kNameEdit = 1008;

  explicit CNameDlg(platform::ui::WindowHandle parent = 0);
  // Preset by the caller; after IDOK the name entered.
  std::string name;

  void DoDataExchange(platform::ui::DataExchange& dx) override;
};

}  // namespace hub
