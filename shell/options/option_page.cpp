#include "shell/options/option_page.h"

#include <algorithm>
#include <stdexcept>

#include "common/settings.h"
#include "platform/ui/controls.h"

namespace hub {
namespace ui = platform::ui;

SettingDef CheckSetting(const char* name, uint32_t def, int control, bool radio) {
  SettingDef s{name, SettingDef::Type::Dword};
  s.dwordDefault = def;
  s.control = control;
  s.bind = radio ? SettingDef::Bind::Radio : SettingDef::Bind::Check;
  return s;
}

SettingDef TextSetting(const char* name, const char* def, int control, bool keptNonEmpty) {
  SettingDef s{name, SettingDef::Type::Text};
  s.textDefault = def;
  s.control = control;
  s.bind = control ? SettingDef::Bind::Text : SettingDef::Bind::None;
  s.keptNonEmpty = keptNonEmpty;
  return s;
}

OptionPage::OptionPage(ui::DialogTemplate dialogTemplate, std::vector<SettingDef> settings)
    : PropertyPage(std::move(dialogTemplate)), settings_(std::move(settings)) {
  ReadAll();
}

void OptionPage::ReadAll() {
  for (const SettingDef& s : settings_) {
    if (s.type == SettingDef::Type::Dword) {
      uint32_t v = s.dwordDefault;
      ReadSettingDword(s.name, v);
      int value = static_cast<int>(v);
      if (s.ranged && (value < s.min || value > s.max)) value = s.outside;
      dwords_[s.name] = value;
    } else {
      std::string v = s.textDefault;
      ReadSettingString(s.name, v);
      if (s.keptNonEmpty && v.empty()) v = s.textDefault;
      texts_[s.name] = v;
    }
  }
}

int& OptionPage::Dword(const std::string& name) {
  auto it = dwords_.find(name);
  if (it == dwords_.end()) throw std::logic_error("no setting " + name + " on this page");
  return it->second;
}

std::string& OptionPage::Text(const std::string& name) {
  auto it = texts_.find(name);
  if (it == texts_.end()) throw std::logic_error("no setting " + name + " on this page");
  return it->second;
}

void OptionPage::DoDataExchange(ui::DataExchange& dx) {
  for (const SettingDef& s : settings_) {
    if (!s.control) continue;
    switch (s.bind) {
      case SettingDef::Bind::Check:
      case SettingDef::Bind::Radio: dx.Check(s.control, Dword(s.name)); break;
      case SettingDef::Bind::Int:
        if (s.ranged) dx.IntRange(s.control, Dword(s.name), s.min, s.max);
        else dx.Int(s.control, Dword(s.name));
        break;
      case SettingDef::Bind::Text: dx.Text(s.control, Text(s.name)); break;
      case SettingDef::Bind::ComboIndex: {
        auto& combo = Ctl<ui::ComboBox>(s.control);
        if (dx.Saving()) {
          if (combo.CurSel() >= 0) Dword(s.name) = combo.CurSel();
        } else {
          combo.SetCurSel(Dword(s.name));
        }
        break;
      }
      case SettingDef::Bind::ComboText: dx.ComboText(s.control, Text(s.name)); break;
      case SettingDef::Bind::None: break;
    }
  }
  ExchangeMore(dx);
}

bool OptionPage::OnApply() {
  // A page the person never opened has nothing to write.
  if (!Exists()) return true;
  if (IsVisible() && !UpdateData(true)) return false;
  if (!BeforeWrite()) return false;
  WriteAll();
  WriteMore();
  return true;
}

void OptionPage::WriteAll() {
  for (const SettingDef& s : settings_) {
    if (s.type == SettingDef::Type::Dword) WriteSettingDword(s.name, static_cast<uint32_t>(Dword(s.name)));
    else WriteSettingString(s.name, Text(s.name));
  }
}

bool OptionPage::OnCommand(int id) {
  for (const auto& group : radioGroups_) {
    if (std::find(group.begin(), group.end(), id) == group.end()) continue;
    for (int member : group)
      if (auto* box = Get<ui::CheckBox>(member)) box->SetCheck(member == id ? 1 : 0);
    return true;
  }
  return PropertyPage::OnCommand(id);
}

void OptionPage::EnableWhileChecked(int check, std::vector<int> controls) {
  auto* box = Get<ui::CheckBox>(check);
  bool on = box && box->Check() != 0;
  for (int id : controls)
    if (auto* c = FindControl(id)) c->Enable(on);
}

}  // namespace hub
