#include "shell/options/opt_sonvert.h"

#include <stdexcept>

#include "common/records.h"
#include "common/shell_routines.h"
#include "platform/ui/controls.h"
#include "platform/ui/menu.h"
#include "shell/transfer/transcode_rules.h"

namespace hub {
namespace ui = platform::ui;
using K = ui::ControlKind;

namespace {
constexpr int kDecoders = 1237, kEncoders = 1238, kRules = 1239, kHelp = 1240, kReset = 1241, kEnable = 1243;
constexpr int kMenuBase = 6000;
}  // namespace

OptSonvert::OptSonvert()
    : OptionPage(ui::DialogTemplate{6002,
                                    "Sonvert",
                                    {{kDecoders, K::ListView, ""}, {kEncoders, K::ListView, ""}, {kRules, K::ListView, ""},
                                     {kEnable, K::CheckBox, "Enable Sonvert during Transfers"},
                                     {kReset, K::Button, "Reset All Rules to Defaults"},
                                     {kHelp, K::Button, "Help and More Plugins..."}},
                                    320,
                                    260},
                 {CheckSetting("Xc2_On", 0, kEnable)}) {}

bool OptSonvert::OnInitDialog() {
  for (auto [id, title, find] : {std::tuple{kDecoders, "Installed Decoder", &FindDecoder},
                                 std::tuple{kEncoders, "Installed Encoder", &FindEncoder}}) {
    auto& list = Ctl<ui::ListView>(id);
    list.SetFullRowSelect(true);
    list.InsertColumn(0, "Format", 50);
    list.InsertColumn(1, title, 200);
    list.SetColumnWidth(1, ui::kLvscwAutoSizeUseHeader);
    for (int code = 1; code <= 11; ++code) {
      std::string name;
      if (!find(code, name)) continue;
      int row = list.InsertItem(list.ItemCount(), GetExtensionForFileType(code));
      list.SetItemImage(row, code);
      list.SetItemText(row, 1, name);
    }
  }
  auto& rules = Ctl<ui::ListView>(kRules);
  rules.SetFullRowSelect(true);
  rules.InsertColumn(0, "Format", 75);
  rules.InsertColumn(1, "Sonvert Transfer Rule", 200);
  rules.SetColumnWidth(1, ui::kLvscwAutoSizeUseHeader);
  FillRules();
  OptionPage::OnInitDialog();
  EnableRules();
  return true;
}

void OptSonvert::FillRules() {
  auto& rules = Ctl<ui::ListView>(kRules);
  rules.DeleteAllItems();
  for (int code = 1; code <= 11; ++code) {
    std::vector<uint32_t> list;
    int index = 0;
    ListTranscodeRules(code, list, index);
    if (list.empty() || index < 0 || index >= static_cast<int>(list.size())) continue;
    int row = rules.InsertItem(rules.ItemCount(), GetExtensionForFileType(code));
    rules.SetItemImage(row, code);
    rules.SetItemText(row, 1, DescribeTranscodeRule(list[static_cast<size_t>(index)]));
  }
}

void OptSonvert::EnableRules() {
  bool on = Ctl<ui::CheckBox>(kEnable).Check() != 0;
  FindControl(kRules)->Enable(on);
  FindControl(kReset)->Enable(on);
}

void OptSonvert::RuleMenu() {
  auto& rules = Ctl<ui::ListView>(kRules);
  if (rules.SelectedCount() != 1) {
    ShowMessage("Please select one rule to change.", ui::kMbIconInformation);
    return;
  }
  format_ = GetFileTypeFromExtension(rules.ItemText(rules.FirstSelected(), 0));
  int index = 0;
  codes_.clear();
  ListTranscodeRules(format_, codes_, index);
  ui::Menu menu;
  for (size_t i = 0; i < codes_.size(); ++i) {
    if (codes_[i] == kRuleSeparator) menu.AppendSeparator();
    else menu.AppendItem(kMenuBase + static_cast<uint32_t>(i), DescribeTranscodeRule(codes_[i]));
  }
  if (index >= 0 && index < static_cast<int>(codes_.size())) menu.CheckItem(kMenuBase + static_cast<uint32_t>(index), true);
  uint32_t chosen = ui::TrackPopupMenu(menu, ui::kTpmReturnCmd | ui::kTpmRightButton, Handle());
  if (chosen) OnCommand(static_cast<int>(chosen));
}

int64_t OptSonvert::OnNotify(ui::Control& from, int code, int64_t) {
  if (from.Id() == kRules && code == ui::kNmRClick) RuleMenu();
  return 0;
}

bool OptSonvert::OnCommand(int id) {
  if (id >= kMenuBase && id < kMenuBase + 100) {
    size_t i = static_cast<size_t>(id - kMenuBase);
    if (i >= codes_.size()) throw std::invalid_argument("no rule " + std::to_string(i));
    // A rule is stored at once, whatever becomes of the sheet.
    SaveTranscodeRule(format_, codes_[i]);
    FillRules();
    return true;
  }
  switch (id) {
    case kReset: ClearTranscodeRules(); FillRules(); return true;
    case kEnable: EnableRules(); return true;
    case kHelp: OpenWithShell("https://www.quorral.example/sonvert/plugins"); return true;
    default: return OptionPage::OnCommand(id);
  }
}

}  // namespace hub
