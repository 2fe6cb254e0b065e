// The editors of one contact and one note held on the player.
#pragma once

#include <string>

#include "common/records.h"
#include "platform/ui/ui_window.h"

namespace hub {

// A note's text goes into the request block's long text: at most this many
// bytes, cut on a character boundary.
inline constexpr size_t kMaxNoteBytes = 4099;

// "Edit Contact": 22 of the contact's fields; the others (the nickname, the
// post-office boxes and extended addresses) are kept as they are.
class EditContactDialog : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 661;
  explicit EditContactDialog(KernelContact& contact, platform::ui::WindowHandle parent = 0);
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  void OnOK() override;

  // (control id, contact field) pairs, in the dialog's order.
  static const std::pair<int, int> kFields[22];
  std::string values[22];

 private:
  KernelContact& contact_;
};

// "Edit Note": one multi-line text.
class EditNoteDialog : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 660;
  explicit EditNoteDialog(platform::ui::WindowHandle parent = 0);
  void DoDataExchange(platform::ui::DataExchange& dx) override;

  std::string text;
};

// `text` cut to `maxBytes` on a character boundary.
std::string CutUtf8(std::string text, size_t maxBytes);

}  // namespace hub
