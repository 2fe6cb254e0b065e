// The album-art page: the switch, the folder picture's name, and the scan of
// the player's tracks for embedded art (with the artwork database rebuild).
#pragma once

#include "shell/options/option_page.h"

namespace hub {

class OptAlbumArt : public OptionPage {
 public:
  OptAlbumArt();
  bool OnCommand(int id) override;
  // Runs the scan; false when album art is switched off in the stored settings.
  bool Scan();
  // "Scan complete.  ..." for these counts.
  static std::string ScanMessage(int withArt, int withoutArt);

 private:
  void EnableButtons(bool on);
};

}  // namespace hub
