// CShellView: the right-hand pane of a namespace folder. It owns a window of
// the view class (a child of the browser's window, so the manager's notices
// reach it from other processes) whose model holds the item list and the
// optional button bar; it adds its buttons and menus to the browser's, and
// carries out the view commands. One thread: the one that owns the window.
// The view holds a reference on its folder and, while its window lives, on
// the browser.
#pragma once

#include <memory>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "common/kernel_device.h"
#include "common/records.h"
#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/bars.h"
#include "platform/ui/list_view.h"
#include "platform/ui/menu.h"
#include "shell/namespace/item_list.h"
#include "shell/namespace/list_columns.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/pidl_routines.h"

namespace hub {

class CShellFolder;

// Window messages the view takes.
namespace view_msg {
inline constexpr uint32_t kSize = 0x0005;
inline constexpr uint32_t kSetFocus = 0x0007;
inline constexpr uint32_t kEraseBackground = 0x0014;
inline constexpr uint32_t kContextMenu = 0x007B;  // lParam: x low 16 bits, y high 16 bits (screen)
inline constexpr uint32_t kAppCommand = 0x0319;
inline constexpr uint32_t kPlaying = 0x7ED;       // wParam: the track's first key word; lParam: elapsed seconds
inline constexpr uint32_t kPlaybackEnded = 0x7EE;
inline constexpr uint32_t kNamespaceCommand = 0x1FB0;  // lParam: the command code
}  // namespace view_msg

class CShellView final : public platform::IShellView, public platform::IDropTarget {
 public:
  static constexpr int kListId = 1001;
  static constexpr int kButtonBarId = 1;
  static constexpr int kButtonBarHeight = 26;

  // `relative`: the folder's id list (copied; null for the root).
  CShellView(CShellFolder* folder, LPCITEMIDLIST relative);

  // IUnknown (both interfaces)
  platform::HRESULT QueryInterface(platform::REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  // IOleWindow, IShellView
  platform::HRESULT GetWindow(platform::ShellWindow* out) override;
  platform::HRESULT ContextSensitiveHelp(bool enter) override;
  platform::HRESULT TranslateAccelerator(platform::ShellMessage* message) override;
  platform::HRESULT EnableModeless(bool enable) override;
  platform::HRESULT UIActivate(uint32_t state) override;
  platform::HRESULT Refresh() override;
  platform::HRESULT CreateViewWindow(platform::IShellView* previous, const platform::FOLDERSETTINGS* settings,
                                     platform::IShellBrowser* browser, const platform::ShellRect* rect,
                                     platform::ShellWindow* out) override;
  platform::HRESULT DestroyViewWindow() override;
  platform::HRESULT GetCurrentInfo(platform::FOLDERSETTINGS* out) override;
  platform::HRESULT AddPropertySheetPages(uint32_t reserved, void* addPage, intptr_t param) override;
  platform::HRESULT SaveViewState() override;
  platform::HRESULT SelectItem(LPCITEMIDLIST item, uint32_t flags) override;
  platform::HRESULT GetItemObject(uint32_t item, platform::REFIID iid, void** out) override;
  // IDropTarget of a data folder's list: rows that are data folders take the
  // drop themselves, the rest goes to the folder's own target.
  platform::HRESULT DragEnter(platform::IDataObject* data, uint32_t keyState, platform::ShellPoint point,
                              uint32_t* effect) override;
  platform::HRESULT DragOver(uint32_t keyState, platform::ShellPoint point, uint32_t* effect) override;
  platform::HRESULT DragLeave() override;
  platform::HRESULT Drop(platform::IDataObject* data, uint32_t keyState, platform::ShellPoint point,
                         uint32_t* effect) override;

  // --- What the host and tests read and do (on the window's thread)
  platform::ShellWindow ViewWindow() const { return window_; }
  platform::ui::ListView* List() const { return list_; }
  platform::ui::Toolbar* ButtonBar() const { return bar_; }
  ListColumnManager* Columns() const { return columns_.get(); }
  int SortColumn() const { return sortColumn_; }
  int SortDirection() const { return sortDirection_; }
  uint32_t ViewMode() const { return viewMode_; }
  uint32_t ActivationState() const { return state_; }
  const platform::ui::Menu* MergedMenu() const { return menu_.get(); }
  bool Watermarked() const { return watermark_; }
  int LeftKeysSent() const { return leftKeys_; }
  int ReselectIndex() const { return reselect_; }
  // The folder kind and key of the list.
  RowFolder Folder() const { return folderKind_; }

  // WM_CREATE: the window's model, the list and its columns; false refuses the window.
  bool AttachWindow(platform::ShellWindow window);
  // The window procedure's body.
  int64_t HandleMessage(uint32_t message, uint64_t wParam, int64_t lParam);
  // WM_COMMAND: the view commands.
  void OnCommand(int id);
  // WM_APPCOMMAND: true when the key was a media key.
  bool OnAppCommand(int command);
  // WM_CONTEXTMENU at a point of the screen; with Ctrl the playback menu.
  void OnContextMenu(platform::ui::Point screen, bool ctrl);
  // Notices of the list (the model window forwards them).
  int64_t OnListNotify(int code, int64_t param);

  void FillItemList();
  void RefreshItemList();
  void SetViewMode(int mode);
  void SelectAllRows();
  void InvertSelection();
  void ActivateSelection();
  void SortByListColumn(int listColumn);
  int CompareRows(int a, int b);
  // Orders the list by the sort column, reading each row's keys once.
  void SortList();
  void UpdateFolderStatus();
  void UpdateSelectionStatus();
  // The cell text the list is answered with.
  std::string CellTextOf(int row, int columnId);
  // The status text for a tooltip of Explorer's toolbar.
  std::string ToolTipText(int command) const;

  // The key, title and length remembered for the playing notice (shared by every view).
  static void ForgetPlayingTrack();

 private:
  class Frame;
  ~CShellView();

  void CreateItemList();
  void AddExplorerButtons();
  void SetCheckMarks();
  void MergeMenus(platform::ui::Menu& shared);
  void SetStatus(int part, const std::string& text);
  void OnPlaying(uint32_t key, int elapsed);
  void OnNamespaceCommand(int64_t code);
  void DropAllRows();
  void SendLeftKey();
  LPCITEMIDLIST RowIds(int row) const;
  std::vector<LPCITEMIDLIST> SelectedIds() const;
  void RunTrackDefaultAction();
  void RememberReselect(int row);
  void InvokeOnSelection(int verb);
  void ForwardFolderCommand(int id);
  void OnListKey(const platform::ui::ListKeyDown& key);
  // LVN_BEGINDRAG: the selection dragged out through DoDragDrop.
  void BeginDragOut();
  void MoveDropHighlight(int row);
  // What the comparison reads of one row, read once per sort; its texts are
  // views into the sort's columns of texts.
  struct RowKey {
    SortKey key;
    LPCITEMIDLIST ids = nullptr;
    uint32_t kind = 0;
    uint8_t pinned = 0;  // PinnedMarks of the text
  };
  // `times`: the sort column compares times (else they are not read).
  RowKey RowKeyOf(int row, LPCITEMIDLIST ids, std::string_view text, std::string_view name, bool times) const;
  // `columnId` and `rule`: the sort column's, found once per sort; `folderOrder`:
  // whether UsesFolderOrder may hold for any two rows of this list.
  int CompareKeys(const RowKey& a, const RowKey& b, int columnId, SortRule rule, bool folderOrder);
  // The item of the row showing `ids`: the one checked when the row came in,
  // else checked now (and throwing as LastOf does).
  PidlItem RowItem(int row, LPCITEMIDLIST ids) const;
  void UncheckPause();
  void CheckToolbar(int command, bool checked);
  bool HasDeviceCapability(int (KernelDevice::*capability)());
  std::vector<platform::ShellToolbarButton> ChooseToolbarButtons(int imageOffset);

  LiveObject live_;
  platform::RefCount refs_{1};
  CShellFolder* folder_;  // held (AddRef) for the view's life
  ShellMalloc holder_;
  // The list's rows in its order (kept through sorts), each with its last
  // item checked once when it came in: cells and sorts read them often.
  struct ViewRow {
    LPCITEMIDLIST ids = nullptr;
    std::optional<PidlItem> item;  // none: the check failed
    uint32_t kind = 0;             // the item's kind, so a sort need not touch each 3 KB record
  };
  std::vector<ViewRow> rows_;
  OwnedIdList ids_;
  RowFolder folderKind_;

  int sortColumn_ = 0;
  int sortDirection_ = 1;
  std::unique_ptr<ListColumnManager> columns_;
  std::unique_ptr<platform::ui::Menu> menu_;
  uint32_t state_ = 0;
  uint32_t viewMode_ = platform::FVM_DETAILS;
  uint32_t viewFlags_ = 0;
  platform::ShellWindow window_ = 0;
  platform::ShellWindow parent_ = 0;
  platform::IShellBrowser* browser_ = nullptr;
  platform::IDropTarget* folderDropTarget_ = nullptr;
  platform::ShellWindow dropRegistered_ = 0;
  bool dropAccept_ = false;
  int dropHover_ = -1;
  // The row to select again after the refresh a command on the selection
  // brings, with the selection it was remembered at: a person who selected
  // otherwise since has moved on, and it serves one refresh only.
  int reselect_ = -1;
  std::vector<int> reselectSelection_;
  bool firstClick_ = false;
  bool watermark_ = false;
  bool spreadsheet_ = true;
  uint32_t spreadsheetColour_ = 0xFFE6E6;
  int leftKeys_ = 0;

  std::unique_ptr<Frame> frame_;
  platform::ui::ListView* list_ = nullptr;
  platform::ui::Toolbar* bar_ = nullptr;
};

}  // namespace hub
