// CShellView: the view commands - Explorer's toolbar and menus, the context
// menus, the media keys and the WM_COMMAND dispatcher.
#include <functional>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/ui/volume_dialog.h"
#include "platform/ui/ui_window.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/shell_view.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "shell/namespace/transfer_services.h"
#include "shell/namespace/view_menus.h"

namespace hub {

using namespace hub::platform;
namespace cmd = view_cmd;

namespace {

// Runs a device command; a failure is shown with the command's own text.
void DeviceCommand(const char* failureText, const std::function<void()>& run) {
  try {
    run();
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception&) {
    ShowMessage(failureText, ui::kMbIconInformation);
  }
}

bool IsForwardedCommand(int id) {
  static constexpr int kForwarded[] = {3026, 3027, 3042, 3043, 3045, 3047, 3059, 4030};
  for (int f : kForwarded)
    if (f == id) return true;
  return false;
}

}  // namespace

// --- Explorer's toolbar and menus

std::vector<ShellToolbarButton> CShellView::ChooseToolbarButtons(int imageOffset) {
  KernelDevice& d = TheClient();
  auto ask = [&](int (KernelDevice::*capability)()) { return HasDeviceCapability(capability); };
  bool tags = ask(&KernelDevice::SupportsTagSearch), segments = ask(&KernelDevice::HasMemorySegments),
       playback = ask(&KernelDevice::SupportsDevicePlayback), playlists = ask(&KernelDevice::SupportsPlaylists);
  (void)d;
  std::vector<ShellToolbarButton> buttons;
  for (const ExplorerToolbarEntry& e : ExplorerToolbarTable()) {
    bool present = true;
    switch (e.need) {
      case ToolbarNeed::Always: break;
      case ToolbarNeed::TagSearchAndProduct: present = tags && TheProductProfile().productNumber != 0; break;
      case ToolbarNeed::MemorySegments: present = segments; break;
      case ToolbarNeed::DevicePlayback: present = playback; break;
      case ToolbarNeed::TagSearch: present = tags; break;
      case ToolbarNeed::Playlists: present = playlists; break;
    }
    if (!present) continue;
    ShellToolbarButton b;
    if (e.image < 0) {
      b.style = ui::kTbstyleSep;
    } else {
      b.bitmap = e.image + imageOffset;
      b.command = e.command;
      b.state = ui::kTbstateEnabled;
      b.style = e.command == cmd::kMute || e.command == cmd::kPause ? ui::kTbstyleCheck : ui::kTbstyleButton;
      b.text = reinterpret_cast<intptr_t>(e.tooltip.data());
    }
    buttons.push_back(b);
  }
  return buttons;
}

void CShellView::AddExplorerButtons() {
  if (!browser_) return;
  int64_t first = 0;
  browser_->SendControlMsg(FCW_TOOLBAR, kTbAddBitmap, kExplorerToolbarImages, 0, &first);
  std::vector<ShellToolbarButton> buttons = ChooseToolbarButtons(static_cast<int>(first));
  browser_->SetToolbarItems(buttons.data(), static_cast<uint32_t>(buttons.size()), FCT_ADDTOEND);
}

std::string CShellView::ToolTipText(int command) const {
  if (command == cmd::kOptions) return TheProductProfile().displayName + " Options";
  for (const ExplorerToolbarEntry& e : ExplorerToolbarTable())
    if (e.image >= 0 && e.command == command) return std::string(e.tooltip);
  return {};
}

void CShellView::CheckToolbar(int command, bool checked) {
  if (browser_) browser_->SendControlMsg(FCW_TOOLBAR, kTbCheckButton, static_cast<uint64_t>(command), checked, nullptr);
}

void CShellView::UncheckPause() { CheckToolbar(cmd::kPause, false); }

void CShellView::SetCheckMarks() {
  static constexpr int kModeButtons[] = {0, cmd::kLargeIcons, cmd::kSmallIcons, cmd::kList, cmd::kDetails};
  for (int m = 1; m <= 4; ++m) CheckToolbar(kModeButtons[m], viewMode_ == static_cast<uint32_t>(m));
  // The device's answers may fail; the view's own marks are set by then.
  if (HasDeviceCapability(&KernelDevice::SupportsDevicePlayback)) {
    try {
      CheckToolbar(cmd::kMute, TheClient().IsMuted() != 0);
      CheckToolbar(cmd::kPause, TheClient().IsPaused() != 0);
    } catch (const ui::UiScriptError&) {
      throw;
    } catch (const std::exception& e) {
      ReportClientException("", e);
    }
  }
}

void CShellView::MergeMenus(ui::Menu& shared) {
  auto group = [&](uint32_t id) -> ui::Menu* {
    for (int i = 0; i < shared.ItemCount(); ++i) {
      ui::Menu::Item* item = shared.MutableItemAt(i);
      if (item->submenu && item->id == id) return item->submenu.get();
    }
    return nullptr;
  };
  if (ui::Menu* edit = group(FCIDM_MENU_EDIT)) {
    edit->InsertItem(0, ui::Menu::Item{0, {}, ui::kMfSeparator, nullptr});
    ui::Menu items = LoadViewMenu(121);
    for (int i = 0; i < items.ItemCount(); ++i) edit->InsertItem(i, *items.ItemAt(i));
  }
  if (ui::Menu* view = group(FCIDM_MENU_VIEW)) {
    int at = -1;
    for (int i = 0; i < view->ItemCount(); ++i)
      if (view->ItemAt(i)->id == FCIDM_MENU_VIEW_SEP_OPTIONS) at = i;
    if (at < 0) at = view->ItemCount();
    view->InsertItem(at, ui::Menu::Item{0, {}, ui::kMfSeparator, nullptr});
    ui::Menu items = LoadViewMenu(122);
    // Before the same separator, which has moved down by one each time.
    for (int i = 0; i < items.ItemCount(); ++i) view->InsertItem(at + 1 + i, *items.ItemAt(i));
  }
}

// --- Context menus and media keys

void CShellView::OnContextMenu(ui::Point screen, bool ctrl) {
  if (!list_) return;
  // The header's menu when the point is on a column header (the list's origin is the screen's here).
  if (list_->HeaderHitTest(screen) >= 0 && columns_) {
    ui::Menu menu = LoadViewMenu(672);
    columns_->AppendHeaderMenu(menu);
    if (uint32_t chosen = ui::TrackPopupMenu(menu, ui::kTpmReturnCmd | ui::kTpmRightButton, window_))
      OnCommand(static_cast<int>(chosen));
    return;
  }
  if (ctrl) {
    ui::Menu menu = LoadViewMenu(566);
    if (uint32_t chosen = ui::TrackPopupMenu(menu, ui::kTpmReturnCmd | ui::kTpmRightButton, window_))
      OnCommand(static_cast<int>(chosen));
    return;
  }
  if (!folder_) return;
  std::vector<LPCITEMIDLIST> ids = SelectedIds();
  ComPtr<IContextMenu> context;
  HRESULT hr = ids.empty() ? folder_->GetUIObjectOf(window_, 0, nullptr, IID_IContextMenu, nullptr, context.Out())
                           : folder_->GetUIObjectOf(window_, static_cast<uint32_t>(ids.size()), ids.data(),
                                                    IID_IContextMenu, nullptr, context.Out());
  if (hr != S_OK || !context) return;
  ui::Menu menu;
  context->QueryContextMenu(reinterpret_cast<ShellMenu>(&menu), 0, 0, 0x7FFF, CMF_NORMAL);
  uint32_t chosen = ui::TrackPopupMenu(menu, ui::kTpmReturnCmd | ui::kTpmRightButton, window_);
  RememberReselect(list_->FocusedRow());
  if (chosen) {
    CMINVOKECOMMANDINFO info;
    info.hwnd = window_;
    info.lpVerb = chosen;
    context->InvokeCommand(&info);
  }
}

bool CShellView::OnAppCommand(int command) {
  auto id = MediaKeyCommand(command);
  if (!id) return false;
  OnCommand(*id);
  return true;
}

void CShellView::ForwardFolderCommand(int id) {
  if (!folder_ || !folder_->Parent() || !ids_) return;
  // The folder's own list, as an item of its parent, gets the command.
  LPCITEMIDLIST self = folder_->RelativeIds();
  if (!self) return;
  ComPtr<IContextMenu> menu;
  if (folder_->Parent()->GetUIObjectOf(parent_, 1, &self, IID_IContextMenu, nullptr, menu.Out()) != S_OK || !menu) return;
  CMINVOKECOMMANDINFO info;
  info.hwnd = window_;
  info.lpVerb = static_cast<uintptr_t>(id);
  menu->InvokeCommand(&info);
}

// --- The dispatcher

void CShellView::OnCommand(int id) {
  if (id >= kColumnCommandFirst && id <= kColumnCommandLast) {
    if (columns_) {
      columns_->ToggleColumn(id - kColumnCommandFirst);
      columns_->SaveColumns();
    }
    return;
  }
  if (IsForwardedCommand(id)) {
    ForwardFolderCommand(id);
    return;
  }
  KernelDevice& d = TheClient();
  switch (id) {
    case cmd::kRestoreColumns:
      if (columns_) {
        columns_->ResetColumns();
        columns_->SaveColumns();
      }
      return;
    case cmd::kCompactColumns:
      if (columns_) {
        columns_->AutoSizeColumns();
        columns_->SaveColumns();
      }
      return;
    case cmd::kCopy: {
      if (SelectedIds().empty()) {
        ShowMessage("No files are selected.", ui::kMbIconInformation);
        return;
      }
      CPidlList selection;
      for (LPCITEMIDLIST p : SelectedIds()) selection.Add(CPidlLast::FromList(p));
      const auto& t = GetTransferServices();
      if (t.TransferToPc) t.TransferToPc(ids_.get(), selection);
      return;
    }
    case cmd::kPaste: {
      const auto& t = GetTransferServices();
      if (t.PasteToDevice) t.PasteToDevice(ids_.get());
      return;
    }
    case cmd::kSelectAll: SelectAllRows(); return;
    case cmd::kInvertSelection: InvertSelection(); return;
    case cmd::kLargeIcons: SetViewMode(0); return;
    case cmd::kSmallIcons: SetViewMode(2); return;
    case cmd::kList: SetViewMode(3); return;
    case cmd::kDetails: SetViewMode(1); return;
    case cmd::kBack:
      DeviceCommand("Could not play previous track in queue.", [&] {
        d.PlayPreviousQueueItem();
        UncheckPause();
      });
      return;
    case cmd::kPlay:
      DeviceCommand("Could not play next track in the Active Queue.", [&] {
        KernelId first;
        if (!d.GetFirstQueueItem(first)) {
          ShowMessage("There are no tracks in the Active Queue.", ui::kMbIconInformation);
          return;
        }
        d.PlayCurrentQueueItem();
        UncheckPause();
      });
      return;
    case cmd::kNext:
      DeviceCommand("Could not play next track in queue.", [&] {
        d.PlayNextQueueItem();
        UncheckPause();
      });
      return;
    case cmd::kStop:
      DeviceCommand("Could not stop track.", [&] {
        d.StopPlayback();
        SetStatus(2, "Playback Stopped");
        UncheckPause();
      });
      RefreshItemList();
      return;
    case cmd::kPause:
      DeviceCommand("Could not change pause state.", [&] {
        int paused = d.IsPaused() ? 0 : 1;
        d.SetPaused(paused);
        CheckToolbar(cmd::kPause, paused != 0);
      });
      return;
    case cmd::kMute:
      DeviceCommand("Could not change mute state.", [&] {
        int muted = d.IsMuted() ? 0 : 1;
        d.SetMute(muted);
        CheckToolbar(cmd::kMute, muted != 0);
      });
      return;
    case cmd::kOptions: {
      const ToolServices& tools = GetToolServices();
      if (tools.ShowOptions) tools.ShowOptions(window_);
      if (list_ && !watermark_) {
        spreadsheet_ = SettingDword("Gen_EnableSpreadsheetView", 1) != 0;
        uint32_t ex = list_->ExStyle() & ~ui::kLvsExGridLines;
        if (spreadsheet_ && folderKind_.kind != FolderCategory) ex |= ui::kLvsExGridLines;
        list_->SetExStyle(ex);
      }
      if (list_) list_->SetFullRowSelect(SettingDword("Gen_EnableFullRowSelect", 1) != 0);
      try {
        d.SaveDatabase();
      } catch (const ui::UiScriptError&) {
        throw;
      } catch (const std::exception& e) {
        ReportClientException("", e);
      }
      RefreshItemList();
      return;
    }
    case cmd::kVolume:
      DeviceCommand("Could not open Volume/EQ/EAX configuration.", [&] {
        VolumeDialog dialog(&d, window_);
        dialog.DoModal();
      });
      return;
    case cmd::kReports: {
      ui::PropertySheet sheet("Logs and Reports", window_);
      std::unique_ptr<ui::PropertyPage> sql;
      const ToolServices& tools = GetToolServices();
      if (HasDeviceCapability(&KernelDevice::SupportsTagSearch) && tools.CreateSqlGeneratorPage)
        sql = tools.CreateSqlGeneratorPage();
      CLogDlg logs;
      if (sql) sheet.AddPage(sql.get());
      sheet.AddPage(&logs);
      sheet.DoModal();
      return;
    }
    case cmd::kSync:
      if (TheProductProfile().productNumber == 4) {
        ui::Menu menu = LoadViewMenu(686);
        if (uint32_t chosen = ui::TrackPopupMenu(menu, ui::kTpmReturnCmd | ui::kTpmRightButton, window_))
          OnCommand(static_cast<int>(chosen));
      }
      return;
    case cmd::kHelp: {
      std::string url;
      if (!ReadSettingString("URL_Help", url, true) || url.empty()) {
        ShowMessage("Could not read url for help page from the registry.", ui::kMbIconInformation);
        return;
      }
      OpenWithShell(url);
      return;
    }
    case cmd::kRoamdeck: {
      const ToolServices& tools = GetToolServices();
      if (tools.ShowRoamdeckDialog) tools.ShowRoamdeckDialog(window_);
      return;
    }
    case cmd::kTopLevel:
    case cmd::kAudioTracks:
    case cmd::kSearch:
    case cmd::kPlaylists:
    case cmd::kActiveQueue: {
      static constexpr TopLevelFolder kFolders[] = {TopLevelFolder::Root, TopLevelFolder::AudioTracks,
                                                    TopLevelFolder::Search, TopLevelFolder::Playlists,
                                                    TopLevelFolder::ActiveQueue};
      OwnedIdList target = CopyTopLevelFolderList(kFolders[id - cmd::kTopLevel]);
      // Nothing before the root was listed.
      if (target && browser_) browser_->BrowseObject(target.get(), SBSP_ABSOLUTE);
      return;
    }
    case cmd::kPictrail:
      try {
        if (!d.IsConnected()) {
          ShowMessage("Please connect your iPod before running Pictrail.", ui::kMbIconInformation);
          return;
        }
        d.SyncPhotos(0);
      } catch (const ui::UiScriptError&) {
        throw;
      } catch (const std::exception& e) {
        ReportClientException("", e);
      }
      return;
    default: return;  // 3030 and every other id: nothing
  }
}

}  // namespace hub
