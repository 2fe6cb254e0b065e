// The Velomatch page: source folders on the PC, the target folder, the older
// one-touch mode, logging, and the reset of the cache files.
#pragma once

#include <string>
#include <vector>

#include "shell/options/option_page.h"

namespace hub {

// The cache files of the "filech" temporary folder, in deletion order.
inline constexpr const char* kVelomatchCacheFiles[] = {"cur2.db", "mod2.db", "dat2.db", "cur.adb", "tmp.adb"};

class OptJukeboxSynchro : public OptionPage {
 public:
  OptJukeboxSynchro();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;

  // "A|B|" <-> {A, B}; reading stops at the first empty piece.
  static std::vector<std::string> SplitFolderList(std::string_view list);
  static std::string JoinFolderList(const std::vector<std::string>& folders);
  // Deletes the cache files; false when one is still there afterwards.
  static bool ResetCache();

 protected:
  void ExchangeMore(platform::ui::DataExchange& dx) override;

 private:
  void RefreshFolders();
};

}  // namespace hub
