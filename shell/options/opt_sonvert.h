// The Sonvert page: the installed decoders and encoders, the conversion rule
// of each format (changed from a pop-up menu, stored at once), their reset,
// and the switch `Xc2_On` (stored with OK).
#pragma once

#include <cstdint>
#include <vector>

#include "shell/options/option_page.h"

namespace hub {

class OptSonvert : public OptionPage {
 public:
  OptSonvert();
  bool OnInitDialog() override;
  bool OnCommand(int id) override;
  int64_t OnNotify(platform::ui::Control& from, int code, int64_t param) override;
  // Fills the rules list from the stored rules.
  void FillRules();
  // The rule menu of the selected row, and the choice made in it.
  void RuleMenu();

 private:
  void EnableRules();
  std::vector<uint32_t> codes_;
  int format_ = 0;
};

}  // namespace hub
