// The small tag dialogs: the incomplete-tag prompt of a transfer, the choice
// of two tag fields and the renumbering dialog.
#pragma once

#include <string>
#include <string_view>

#include "common/records.h"
#include "platform/ui/ui_window.h"

namespace hub {

// The fill text for incomplete tags: `JB_Tx_ITagFillWith`, "<Unknown>" when
// it is empty or cannot be read.
std::string TagFillText();

// "Edit Tag": asks for the missing fields of one file during a transfer.
class CTagFillDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 535;
  CTagFillDlg(std::string_view path, _AUDIODATA& record, platform::ui::WindowHandle parent = 0);

  // Writes the values into the record; artist, album and genre that are blank
  // get the fill text.
  void ApplyToTrack();

  std::string fileName;
  std::string album, artist, comment, genre, title;
  int trackNumber = 0;
  int year = 0;

 protected:
  void DoDataExchange(platform::ui::DataExchange& dx) override;

 private:
  _AUDIODATA& record_;
};

// The tag fields a CFieldSwapDlg offers, in index order.
inline constexpr const char* kSwapFieldNames[] = {"Artist", "Album", "Track Number", "Title", "Year", "Genre", "Comment"};

// "Swap Tag Fields": two of the seven tag fields.
class CFieldSwapDlg : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 552;
  CFieldSwapDlg(std::string_view caption, std::string_view firstLabel, std::string_view secondLabel,
                platform::ui::WindowHandle parent = 0);
  bool OnInitDialog() override;

  int first = 0;
  int second = 1;
  std::string caption;
  std::string firstLabel;
  std::string secondLabel;

 protected:
  void DoDataExchange(platform::ui::DataExchange& dx) override;
};

// "Auto-Fill Track Numbers": a starting number and an increment.
class CAutoFillTrackNumDialog : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 599;
  explicit CAutoFillTrackNumDialog(platform::ui::WindowHandle parent = 0);

  int increment = 1;
  int start = 1;

 protected:
  void DoDataExchange(platform::ui::DataExchange& dx) override;
};

}  // namespace hub
