// CShellView: identity, window, creation, activation and the notices that
// other processes post to the view.
#include "shell/namespace/shell_view.h"

#include <mutex>

#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/shell/drag_drop.h"
#include "platform/ui/pump.h"
#include "platform/ui/ui_window.h"
#include "platform/window/window.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/view_menus.h"

namespace hub {

using namespace hub::platform;

// The view window's model: the list and the button bar live here, so
// hubplat lists them and posts to the window reach the view either way.
class CShellView::Frame : public ui::Window {
 public:
  Frame(CShellView& view, WindowHandle handle) : ui::Window("Namespace View"), view_(view) { BindToHandle(handle); }
  ~Frame() override { Unbind(); }
  const char* KindName() const override { return "view"; }
  int64_t OnNotify(ui::Control& from, int code, int64_t param) override {
    if (from.Id() == kListId) return view_.OnListNotify(code, param);
    return 0;
  }
  bool OnCommand(int id) override {
    view_.OnCommand(id);
    return true;
  }
  void OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override {
    view_.HandleMessage(message, wParam, lParam);
  }
  bool OnKey(int vk, bool ctrl, bool shift) override {
    ui::ListKeyDown key{vk, ctrl, shift, false};
    view_.OnListNotify(ui::kLvnKeyDown, reinterpret_cast<intptr_t>(&key));
    return true;
  }

 private:
  CShellView& view_;
};

namespace {

constexpr const char* kViewClass = kNamespaceViewClass;

// What the playing notice remembers, for every view of the process.
struct PlayingTrack {
  std::mutex mutex;
  bool known = false;
  uint32_t key = 0;
  std::string title;
  int length = 0;
};
PlayingTrack& Playing() {
  static PlayingTrack p;
  return p;
}

int64_t ViewWindowProc(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (message == kWmCreate) {
    auto* view = reinterpret_cast<CShellView*>(static_cast<intptr_t>(lParam));
    SetWindowUserData(window, reinterpret_cast<intptr_t>(view));
    SetMessageOwner(window);
  }
  auto* view = reinterpret_cast<CShellView*>(GetWindowUserData(window));
  if (message == kWmDestroy) SetWindowUserData(window, 0);
  if (!view) return DefaultWindowProc(window, message, wParam, lParam);
  if (message == kWmCreate) return view->AttachWindow(window) ? 0 : -1;
  int64_t result = view->HandleMessage(message, wParam, lParam);
  if (message == view_msg::kNamespaceCommand) return DefaultWindowProc(window, message, wParam, lParam);
  return result;
}

}  // namespace

CShellView::CShellView(CShellFolder* folder, LPCITEMIDLIST relative) : folder_(folder) {
  if (folder_) folder_->AddRef();
  if (relative) ids_.reset(CopyIdList(holder_, relative));
  try {
    if (ids_) {
      PidlItem last = PidlItem::LastOf(ids_.get());
      folderKind_ = RowFolder{last.Kind(), last.SubKind()};
    }
  } catch (const CPidlException&) {
    folderKind_ = RowFolder{};
  }
}

CShellView::~CShellView() {
  DropAllRows();
  frame_.reset();
  menu_.reset();
  if (folderDropTarget_) folderDropTarget_->Release();
  if (browser_) browser_->Release();
  if (folder_) folder_->Release();
}

// --- IUnknown

HRESULT CShellView::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IShellView) {
    *out = static_cast<IShellView*>(this);
  } else if (iid == IID_IDropTarget) {
    *out = static_cast<IDropTarget*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t CShellView::AddRef() { return refs_.Increment(); }

uint32_t CShellView::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

// --- IShellView

HRESULT CShellView::GetWindow(ShellWindow* out) {
  if (!out) return E_POINTER;
  *out = window_;
  return S_OK;
}
HRESULT CShellView::ContextSensitiveHelp(bool) { return E_NOTIMPL; }
HRESULT CShellView::TranslateAccelerator(ShellMessage*) { return E_NOTIMPL; }
HRESULT CShellView::EnableModeless(bool) { return E_NOTIMPL; }
HRESULT CShellView::Refresh() { return S_OK; }
HRESULT CShellView::AddPropertySheetPages(uint32_t, void*, intptr_t) { return E_NOTIMPL; }
HRESULT CShellView::SelectItem(LPCITEMIDLIST, uint32_t) { return E_NOTIMPL; }
HRESULT CShellView::GetItemObject(uint32_t, REFIID, void** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellView::GetCurrentInfo(FOLDERSETTINGS* out) {
  if (!out) return E_POINTER;
  out->ViewMode = viewMode_;
  out->fFlags = viewFlags_;
  return S_OK;
}

HRESULT CShellView::SaveViewState() {
  if (viewMode_ == FVM_DETAILS && columns_) columns_->SaveColumns();
  return E_NOTIMPL;
}

HRESULT CShellView::CreateViewWindow(IShellView*, const FOLDERSETTINGS* settings, IShellBrowser* browser,
                                     const ShellRect* rect, ShellWindow* out) {
  if (out) *out = 0;
  if (!browser || window_) return E_FAIL;
  if (!IsWindowClassRegistered(kViewClass) && !RegisterWindowClass(kViewClass, ViewWindowProc)) return E_FAIL;
  browser->AddRef();
  browser_ = browser;
  if (settings) {
    viewMode_ = settings->ViewMode;
    viewFlags_ = settings->fFlags;
  }
  browser_->GetWindow(&parent_);
  WindowHandle w = CreateHiddenWindow(kViewClass, "", parent_, reinterpret_cast<intptr_t>(this));
  if (!w || !frame_) {
    // The browser's reference is given back when the window cannot be made.
    if (w) DestroyWindow(w);
    frame_.reset();
    window_ = 0;
    browser_->Release();
    browser_ = nullptr;
    return E_FAIL;
  }
  if (rect) HandleMessage(view_msg::kSize, 0, (rect->right - rect->left) | int64_t(rect->bottom - rect->top) << 16);
  if (out) *out = window_;
  AddExplorerButtons();
  return S_OK;
}

HRESULT CShellView::DestroyViewWindow() {
  DropAllRows();
  UIActivate(SVUIA_DEACTIVATE);
  if (dropRegistered_) {
    RevokeDragDrop(dropRegistered_);
    dropRegistered_ = 0;
  }
  if (window_) {
    WindowHandle w = window_;
    frame_.reset();
    list_ = nullptr;
    bar_ = nullptr;
    DestroyWindow(w);
    window_ = 0;
  }
  if (browser_) {
    browser_->Release();
    browser_ = nullptr;
  }
  return S_OK;
}

HRESULT CShellView::UIActivate(uint32_t state) {
  if (state == state_) return S_OK;
  try {
    if (SettingDword("Gen_Acc_RightPaneAutoFocus", 0) && list_) list_->EnsureVisible(list_->FocusedRow());
    if (menu_ && browser_) {
      browser_->SetMenuSB(0, nullptr, 0);
      browser_->RemoveMenusSB(reinterpret_cast<ShellMenu>(menu_.get()));
      menu_.reset();
      state_ = SVUIA_DEACTIVATE;
    }
    if (state != SVUIA_DEACTIVATE && browser_) {
      menu_ = std::make_unique<ui::Menu>();
      browser_->InsertMenusSB(reinterpret_cast<ShellMenu>(menu_.get()), nullptr);
      MergeMenus(*menu_);
      browser_->SetMenuSB(reinterpret_cast<ShellMenu>(menu_.get()), nullptr, window_);
    }
    SetCheckMarks();
    state_ = state;
    if (state != SVUIA_DEACTIVATE && browser_) {
      const int32_t parts[3] = {300, 200, -1};
      browser_->SendControlMsg(FCW_STATUS, kSbSetParts, 3, reinterpret_cast<intptr_t>(parts), nullptr);
      UpdateFolderStatus();
      RefreshItemList();
    }
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    // Nothing leaves a COM method: the failure is shown and the view stays usable.
    ReportClientException("Could not activate the view.", e);
    state_ = state;
  }
  return S_OK;
}

// --- IDropTarget

HRESULT CShellView::DragEnter(IDataObject* data, uint32_t keyState, ShellPoint point, uint32_t* effect) {
  // What the folder's own target takes is taken here, and nothing else.
  uint32_t allowed = effect ? *effect : DROPEFFECT_COPY;
  uint32_t answer = allowed;
  dropAccept_ = folderDropTarget_ && folderDropTarget_->DragEnter(data, keyState, point, &answer) == S_OK &&
                answer != DROPEFFECT_NONE;
  if (effect) *effect = dropAccept_ ? answer : DROPEFFECT_NONE;
  return S_OK;
}

HRESULT CShellView::DragOver(uint32_t keyState, ShellPoint point, uint32_t* effect) {
  if (list_) MoveDropHighlight(list_->HitTest(ui::Point{point.x, point.y}));
  uint32_t answer = effect ? *effect : DROPEFFECT_COPY;
  if (dropAccept_ && folderDropTarget_) folderDropTarget_->DragOver(keyState, point, &answer);
  if (effect) *effect = dropAccept_ ? answer : DROPEFFECT_NONE;
  return S_OK;
}

HRESULT CShellView::DragLeave() {
  MoveDropHighlight(-1);
  dropAccept_ = false;
  if (folderDropTarget_) folderDropTarget_->DragLeave();
  return S_OK;
}

HRESULT CShellView::Drop(IDataObject* data, uint32_t keyState, ShellPoint point, uint32_t* effect) {
  MoveDropHighlight(-1);
  uint32_t allowed = effect ? *effect : DROPEFFECT_COPY;
  if (effect) *effect = DROPEFFECT_NONE;
  if (!dropAccept_ || !folderDropTarget_) return S_OK;
  dropAccept_ = false;
  int row = list_ ? list_->HitTest(ui::Point{point.x, point.y}) : -1;
  LPCITEMIDLIST rowIds = row >= 0 ? RowIds(row) : nullptr;
  try {
    if (rowIds && folder_ && PidlItem::LastOf(rowIds).Kind() == FolderData) {
      // A data folder of the list takes the drop on itself.
      ComPtr<IDropTarget> target;
      LPCITEMIDLIST one = rowIds;
      if (folder_->GetUIObjectOf(window_, 1, &one, IID_IDropTarget, nullptr, target.Out()) == S_OK && target) {
        folderDropTarget_->DragLeave();
        uint32_t answer = allowed;
        target->DragEnter(data, keyState, point, &answer);
        if (answer == DROPEFFECT_NONE) {
          target->DragLeave();
          return S_OK;
        }
        answer = allowed;
        target->Drop(data, keyState, point, &answer);
        if (effect) *effect = answer;
        return S_OK;
      }
    }
  } catch (const CPidlException&) {
    // Not a row of ours: the folder takes it.
  }
  uint32_t answer = allowed;
  folderDropTarget_->Drop(data, keyState, point, &answer);
  if (effect) *effect = answer;
  return S_OK;
}

void CShellView::MoveDropHighlight(int row) {
  if (!list_ || row == dropHover_) return;
  if (dropHover_ >= 0 && dropHover_ < list_->ItemCount()) list_->SetItemState(dropHover_, 0, ui::kLvisDropHilited);
  dropHover_ = row;
  if (row >= 0) list_->SetItemState(row, ui::kLvisDropHilited, ui::kLvisDropHilited);
}

// --- The window

int64_t CShellView::HandleMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
  try {
    switch (message) {
      case view_msg::kSize: {
        int width = static_cast<int>(lParam & 0xFFFF), height = static_cast<int>(lParam >> 16 & 0xFFFF);
        if (!list_) return 0;
        if (bar_) {
          list_->SetClientSize(width, std::max(0, height - kButtonBarHeight - 1));
          bar_->AutoSize();
        } else {
          list_->SetClientSize(width, height);
        }
        return 0;
      }
      case view_msg::kSetFocus:
        if (browser_) browser_->OnViewWindowActive(this);
        UIActivate(SVUIA_ACTIVATE_FOCUS);
        return 0;
      case view_msg::kEraseBackground: return 0;
      case kWmNotify: {
        auto* request = reinterpret_cast<ShellToolTipRequest*>(static_cast<intptr_t>(lParam));
        if (request && request->code == kTtnGetDispInfoA) CopyCellText(ToolTipText(request->command), request->text, sizeof request->text);
        return 0;
      }
      case view_msg::kContextMenu:
        OnContextMenu(ui::Point{static_cast<int16_t>(lParam & 0xFFFF), static_cast<int16_t>(lParam >> 16 & 0xFFFF)},
                      ui::IsKeyHeld(ui::kVkControl));
        return 0;
      case kWmCommand: OnCommand(static_cast<int>(wParam & 0xFFFF)); return 0;
      case view_msg::kAppCommand: return OnAppCommand(static_cast<int>((lParam >> 16) & 0xFFF)) ? 1 : 0;
      case view_msg::kPlaying: OnPlaying(static_cast<uint32_t>(wParam), static_cast<int>(lParam)); return 0;
      case view_msg::kPlaybackEnded: SetStatus(2, "Playback Stopped"); return 0;
      case view_msg::kNamespaceCommand: OnNamespaceCommand(lParam); return 0;
      default: return 0;
    }
  } catch (const CPidlException&) {
    return 0;  // a bad item ends only this handler
  }
}

void CShellView::OnPlaying(uint32_t key, int elapsed) {
  PlayingTrack& p = Playing();
  std::string title;
  int length = 0;
  bool asked = false;
  {
    std::lock_guard l(p.mutex);
    if (p.known && p.key == key) {
      title = p.title;
      length = p.length;
    } else {
      asked = true;
    }
  }
  if (asked) {
    try {
      KernelId id(key);
      title = TheClient().GetTrackTitle(id);
      length = TheClient().GetTrackLength(id);
    } catch (const std::exception& e) {
      ReportClientException("", e);
      return;
    }
    {
      std::lock_guard l(p.mutex);
      p.known = true;
      p.key = key;
      p.title = title;
      p.length = length;
    }
    // The queue's current row moved: every open view of the namespace re-reads.
    PostNamespaceCommand(kNamespaceAfterChange);
  }
  SetStatus(2, PlayingText(elapsed, length, title));
}

void CShellView::ForgetPlayingTrack() {
  PlayingTrack& p = Playing();
  std::lock_guard l(p.mutex);
  p.known = false;
  p.key = 0;
  p.title.clear();
  p.length = 0;
}

void CShellView::OnNamespaceCommand(int64_t code) {
  switch (code) {
    case kNamespaceAfterConnect:
    case kNamespaceAfterChange: RefreshItemList(); break;
    case kNamespaceAfterDisconnect: DropAllRows(); break;
    case 3015: ActivateSelection(); break;
    case 4050:
      if (browser_) browser_->BrowseObject(nullptr, SBSP_NAVIGATEBACK);
      break;
    default: break;
  }
}

void CShellView::SetStatus(int part, const std::string& text) {
  if (browser_)
    browser_->SendControlMsg(FCW_STATUS, kSbSetTextA, static_cast<uint64_t>(part), reinterpret_cast<intptr_t>(text.c_str()),
                             nullptr);
}

// --- Creating the list (WM_CREATE)

bool CShellView::AttachWindow(WindowHandle window) {
  window_ = window;
  try {
    frame_ = std::make_unique<Frame>(*this, window);
    frame_->Show(true);
    CreateItemList();
    return true;
  } catch (const std::exception& e) {
    ReportClientException("", e);
    frame_.reset();
    list_ = nullptr;
    bar_ = nullptr;
    return false;
  }
}

void CShellView::CreateItemList() {
  namespace lv = ui;
  viewMode_ = FVM_DETAILS;
  bool dataFolder = folderKind_.kind == FolderData || folderKind_.kind == ItemDataFile;
  if (dataFolder) viewMode_ = SettingDword("Gen_DataViewMode", viewMode_);
  else if (folderKind_.kind == FolderTrackList || folderKind_.kind == FolderCategory)
    viewMode_ = SettingDword("Gen_AudioViewMode", viewMode_);
  if (viewMode_ < FVM_ICON || viewMode_ > FVM_DETAILS) viewMode_ = FVM_DETAILS;

  // The button bar of the folders that have one.
  std::optional<ButtonBarFolder> barFolder;
  if (folderKind_.kind == FolderCategory && folderKind_.key == 1 && HasDeviceCapability(&KernelDevice::SupportsTagSearch))
    barFolder = ButtonBarFolder::Playlists;
  else if (folderKind_.kind == FolderContacts) barFolder = ButtonBarFolder::Contacts;
  else if (folderKind_.kind == FolderNotes) barFolder = ButtonBarFolder::Notes;
  else if (folderKind_.kind == FolderTrackList && folderKind_.key == kTrackListSearch) barFolder = ButtonBarFolder::Search;
  if (barFolder) {
    bar_ = &frame_->AddControl<ui::Toolbar>(ui::ControlSpec{kButtonBarId, ui::ControlKind::Toolbar, "Buttons"});
    std::vector<std::string> texts;
    for (std::string_view t : ButtonBarTexts()) texts.emplace_back(t);
    bar_->AddStrings(texts);
    bar_->AddBitmap(33);
    for (const ButtonBarButton& b : ButtonBarButtons(*barFolder))
      bar_->AddButton(ui::Toolbar::Button{b.image, b.command, ui::kTbstateEnabled, ui::kBtnsAutoSize, bar_->String(b.text)});
  }

  list_ = &frame_->AddControl<ui::ListView>(ui::ControlSpec{kListId, ui::ControlKind::ListView, "Items"});
  static constexpr uint32_t kTypeOfMode[] = {0, lv::kLvsIcon, lv::kLvsSmallIcon, lv::kLvsList, lv::kLvsReport};
  list_->SetStyle(lv::kLvsShareImageLists | lv::kLvsAutoArrange | kTypeOfMode[viewMode_]);
  columns_ = std::make_unique<ListColumnManager>(ids_.get(), *list_);
  firstClick_ = false;

  // The folder's drop target for the list (none in a build without one).
  if (folder_) {
    void* target = nullptr;
    if (folder_->CreateViewObject(window_, IID_IDropTarget, &target) == S_OK)
      folderDropTarget_ = static_cast<IDropTarget*>(target);
  }
  // Drops on the list: the view's own target in a data folder (rows that are
  // folders take drops), else the folder's.
  IDropTarget* listTarget = dataFolder ? static_cast<IDropTarget*>(this) : folderDropTarget_;
  if (listTarget && RegisterDragDrop(window_, listTarget) == S_OK) dropRegistered_ = window_;
  try {
    TheClient().AddNotifyWindow(window_);
  } catch (const std::exception& e) {
    // A view without notices still lists; the failure is written to the log by the client.
    (void)e;
  }

  // The product's picture in the lower right corner of the root, device information and utilities.
  if (!ids_ || folderKind_.kind == FolderDeviceInfo || folderKind_.kind == FolderUtilities) {
    static constexpr std::pair<int, int> kPictures[] = {{1, 530}, {4, 531}, {2, 532}, {5, 533}, {7, 534}, {8, 535}};
    int picture = 0;
    for (auto [product, id] : kPictures)
      if (product == TheProductProfile().productNumber) picture = id;
    list_->SetBackgroundImage("res://" + TheProductProfile().moduleInstance.path + "/#381/#" + std::to_string(picture), 100,
                              100);
    watermark_ = true;
  }
  spreadsheet_ = true;
  spreadsheetColour_ = SettingDword("Gen_SpreadsheetColor", 0xFFE6E6);
  uint32_t ex = list_->ExStyle();
  if (SettingDword("Gen_EnableFullRowSelect", 1)) ex |= lv::kLvsExFullRowSelect;
  if (!watermark_) {
    spreadsheet_ = SettingDword("Gen_EnableSpreadsheetView", 1) != 0;
    if (spreadsheet_ && folderKind_.kind != FolderCategory) ex |= lv::kLvsExGridLines;
  }
  list_->SetExStyle(ex);
  if (browser_) browser_->SendControlMsg(FCW_STATUS, kWmShowWindow, 1, 0, nullptr);
}

bool CShellView::HasDeviceCapability(int (KernelDevice::*capability)()) {
  try {
    return (TheClient().*capability)() != 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace hub
