// The Transfer Manager: a resizable sheet, "Prepare for Transfer...", shown
// before a transfer sends anything. Its pages hold the audio tracks, the data
// files, the folders and playlists that may become playlists, and the
// advanced transfer options; OK sends what they hold, Cancel nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui_window.h"
#include "shell/transfer/path_expansion.h"
#include "shell/transfer/transfer_manager_pages.h"
#include "shell/transfer/transfer_manager_rows.h"

namespace hub {

class CTransferManagerSheet : public platform::ui::PropertySheet {
 public:
  static constexpr int kHelp = 57670;
  // The style the sheet's window is made with: popup, visible, caption,
  // system menu, sizing border, set-font and 3D look.
  static constexpr uint32_t kStyle = 0x90CC0044;

  // `paths` and `sources` are the worker's; the playlist page prunes `sources` on OK.
  CTransferManagerSheet(const std::vector<std::string>& paths, TransferGroups& sources,
                        platform::ui::WindowHandle parent);
  ~CTransferManagerSheet() override;

  CTMAudioPage& AudioPage() { return audio_; }
  CTMDataPage& DataPage() { return data_; }
  CTMPlaylistPage& PlaylistPage() { return playlists_; }
  // Null when this build has no advanced transfer options page.
  platform::ui::PropertyPage* OptionsPage() { return options_.get(); }

  bool OnCommand(int id) override;

  // WM_SIZE with the new client size; nothing before the sheet is laid out.
  void OnSize(int width, int height);
  // WM_GETMINMAXINFO: the smallest outer size a person can drag it to.
  platform::ui::Rect MinTrackSize() const { return {0, 0, minWidth_, minHeight_}; }
  // The sheet's own windows as they stand now (the tab control, the page area, OK, Cancel, Help).
  platform::ui::Rect TabRect() const { return tab_; }
  const std::vector<SheetChild>& Children() const { return children_; }
  bool LaidOut() const { return !notLaidOut_; }

  // The help address: URL_HelpATM, else URL_Help, else empty.
  static std::string HelpAddress();

 protected:
  bool OnInitDialog() override;

 private:
  int notLaidOut_ = 1;
  platform::ui::Rect client_;
  int minWidth_ = 0;
  int minHeight_ = 0;
  platform::ui::Rect tab_;
  std::vector<SheetChild> children_;
  CTMAudioPage audio_;
  CTMDataPage data_;
  CTMPlaylistPage playlists_;
  std::unique_ptr<platform::ui::PropertyPage> options_;
};

}  // namespace hub
