// The common shape of an option page: its settings as a table (name, type,
// default, control, range), read with their defaults in the constructor,
// exchanged with the controls, checked when the page is left, and written
// only when the sheet is closed with OK.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/ui_window.h"

namespace hub {

struct SettingDef {
  enum class Type { Dword, Text };
  enum class Bind { None, Check, Radio, Int, Text, ComboIndex, ComboText };
  const char* name;
  Type type;
  uint32_t dwordDefault = 0;
  const char* textDefault = "";
  int control = 0;  // 0: no control of its own (the page's code exchanges it)
  Bind bind = Bind::None;
  bool keptNonEmpty = false;  // an empty text read is replaced by the default
  // Numbers: a value read outside the range becomes `outside`; typed outside
  // it, the standard range message keeps the page open.
  bool ranged = false;
  int min = 0;
  int max = 0;
  int outside = 0;
};

// A Dword setting bound to a check box (or radio button when `radio`).
SettingDef CheckSetting(const char* name, uint32_t def, int control, bool radio = false);
// A text setting bound to an edit.
SettingDef TextSetting(const char* name, const char* def, int control, bool keptNonEmpty = false);

class OptionPage : public platform::ui::PropertyPage {
 public:
  OptionPage(platform::ui::DialogTemplate dialogTemplate, std::vector<SettingDef> settings);

  // The values as the page holds them now.
  int& Dword(const std::string& name);
  std::string& Text(const std::string& name);
  const std::vector<SettingDef>& Settings() const { return settings_; }

  void DoDataExchange(platform::ui::DataExchange& dx) override;
  // OK: the last checks (BeforeWrite), then every setting of the page.
  bool OnApply() override;
  bool OnCommand(int id) override;

 protected:
  // The page's own exchange after the table's.
  virtual void ExchangeMore(platform::ui::DataExchange& /*dx*/) {}
  // Last checks and adjustments before writing; false keeps the sheet open.
  virtual bool BeforeWrite() { return true; }
  // Settings the page writes besides its table.
  virtual void WriteMore() {}
  // Radio groups: clicking one member ticks it and clears the others.
  void AddRadioGroup(std::vector<int> controls) { radioGroups_.push_back(std::move(controls)); }
  // Enables `controls` while the check box `check` is ticked.
  void EnableWhileChecked(int check, std::vector<int> controls);

 private:
  void ReadAll();
  void WriteAll();
  std::vector<SettingDef> settings_;
  std::map<std::string, int> dwords_;
  std::map<std::string, std::string> texts_;
  std::vector<std::vector<int>> radioGroups_;
};

}  // namespace hub
