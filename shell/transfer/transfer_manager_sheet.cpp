#include "shell/transfer/transfer_manager_sheet.h"

#include "common/settings.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/tool_services.h"

namespace hub {
namespace ui = platform::ui;

CTransferManagerSheet::CTransferManagerSheet(const std::vector<std::string>& paths, TransferGroups& sources,
                                             ui::WindowHandle parent)
    : PropertySheet("", parent),
      audio_(paths),
      data_(paths),
      playlists_(sources),
      options_(GetToolServices().CreateTransfersAdvancedPage()) {
  SetFlags(Flags() | ui::kPshNoApplyNow);
  AddPage(&audio_);
  AddPage(&data_);
  AddPage(&playlists_);
  if (options_) AddPage(options_.get());
}

CTransferManagerSheet::~CTransferManagerSheet() {
  // The pages go before the members that own them are destroyed.
  while (PageCount() > 0) RemovePage(PageCount() - 1);
}

bool CTransferManagerSheet::OnInitDialog() {
  PropertySheet::OnInitDialog();
  SetCaption("Prepare for Transfer...");
  const ui::Rect outer = Bounds();
  minWidth_ = outer.Width();
  minHeight_ = outer.Height();
  client_ = {0, 0, outer.Width(), outer.Height()};
  const int w = client_.Width(), h = client_.Height();
  tab_ = {7, 7, w - 7, h - 40};
  children_ = {
      {{11, 30, w - 11, h - 44}, false},              // the page area
      {{w - 231, h - 33, w - 156, h - 10}, true},     // OK
      {{w - 153, h - 33, w - 78, h - 10}, true},      // Cancel
      {{w - 75, h - 33, w - 7, h - 10}, true},        // Help
  };
  AddControl<ui::Control>(ui::ControlSpec{kHelp, ui::ControlKind::Button, "Help"});
  if (PageCount() >= 4) Page(3)->SetTabCaption("Options");
  notLaidOut_ = 0;
  return true;
}

void CTransferManagerSheet::OnSize(int width, int height) {
  if (notLaidOut_) return;
  const ui::Rect now{0, 0, width, height};
  ResizeSheetChildren(client_, now, tab_, children_);
  client_ = now;
  // The page area's new size reaches the pages as theirs.
  const ui::Rect& area = children_.front().rect;
  if (audio_.Exists()) audio_.OnSize(area.Width(), area.Height());
  if (data_.Exists()) data_.OnSize(area.Width(), area.Height());
  if (playlists_.Exists()) playlists_.OnSize(area.Width(), area.Height());
}

std::string CTransferManagerSheet::HelpAddress() {
  std::string address;
  ReadSettingString("URL_Help", address);
  ReadSettingString("URL_HelpATM", address);
  return address;
}

bool CTransferManagerSheet::OnCommand(int id) {
  if (id == kHelp) {
    ShellOpenFile(HelpAddress());
    return true;
  }
  if (id == ui::kIdOk) {
    // A page never opened still answers OK: its data files are sent and its
    // playlist choices (all unchecked when the setting says so) are applied.
    for (int i = 0; i < PageCount(); ++i)
      if (!Page(i)->Exists()) Page(i)->Create(Handle());
  }
  return PropertySheet::OnCommand(id);
}

}  // namespace hub
