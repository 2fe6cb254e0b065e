// CShellView: the item list - filling, refreshing, cells, sorting, status
// texts, the list's notices and the default action of a row.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/shell/drag_drop.h"
#include "shell/namespace/data_object.h"
#include "shell/namespace/drop_target.h"
#include "shell/namespace/enum_id_list.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/shell_view.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "shell/namespace/transfer_services.h"
#include "shell/namespace/view_menus.h"

namespace hub {

using namespace hub::platform;

namespace {

constexpr int kVkReturn = 0x0D;
constexpr int kVkInsert = 0x2D;
constexpr int kVkDelete = 0x2E;
constexpr int kVkLeft = 0x25;

bool IsMessageRow(uint32_t kind) {
  return kind == ItemMessageLine || kind == ItemMessageHead || kind == ItemLink || kind == ItemNotice;
}

uint32_t KindOf(LPCITEMIDLIST ids) {
  try {
    return ids ? PidlItem::LastOf(ids).Kind() : 0;
  } catch (const CPidlException&) {
    return 0;
  }
}

}  // namespace

LPCITEMIDLIST CShellView::RowIds(int row) const {
  return list_ ? reinterpret_cast<LPCITEMIDLIST>(static_cast<intptr_t>(list_->ItemParam(row))) : nullptr;
}

std::vector<LPCITEMIDLIST> CShellView::SelectedIds() const {
  std::vector<LPCITEMIDLIST> ids;
  if (!list_) return ids;
  for (int row : list_->SelectedRows())
    if (LPCITEMIDLIST p = RowIds(row)) ids.push_back(p);
  return ids;
}

PidlItem CShellView::RowItem(int row, LPCITEMIDLIST ids) const {
  if (row >= 0 && static_cast<size_t>(row) < rows_.size()) {
    const ViewRow& r = rows_[static_cast<size_t>(row)];
    if (r.ids == ids && r.item) return *r.item;
  }
  return PidlItem::LastOf(ids);
}

void CShellView::DropAllRows() {
  rows_.clear();
  if (!list_) return;
  for (int row = 0; row < list_->ItemCount(); ++row) holder_.Free(RowIds(row));
  list_->DeleteAllItems();
}

void CShellView::SendLeftKey() {
  ++leftKeys_;
  ui::ListKeyDown key{kVkLeft, false, false, false};
  (void)key;  // the model's list moves nothing on Left; the press is counted
}

// --- Filling and refreshing

void CShellView::FillItemList() {
  if (!list_ || !folder_) return;
  std::lock_guard lock(ListingLock());
  // The listing's own records become the rows (no copy each through Next);
  // from here the view frees them, as it frees the rows' lists.
  std::vector<LPITEMIDLIST> taken;
  {
    ComPtr<CEnumIDList> items = folder_->ListContent(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    if (!items) return;
    taken = items->TakeRemaining();
  }
  list_->SetRedraw(false);
  bool messages = false;
  rows_.reserve(rows_.size() + taken.size());
  for (size_t n = 0; n < taken.size(); ++n) {
    LPITEMIDLIST item = taken[n];
    if (n == 0 && IsMessageRow(KindOf(item))) {
      messages = true;
      if (columns_) columns_->StopPersisting();
    }
    ViewRow row{item, std::nullopt};
    try {
      row.item.emplace(PidlItem::LastOf(item));
      row.kind = row.item->Kind();
    } catch (const CPidlException&) {
      // Not kept: each read of the row checks it again, and fails as it did.
    }
    rows_.push_back(std::move(row));
    list_->InsertCallbackItem(list_->ItemCount(), reinterpret_cast<intptr_t>(item));
  }
  if (messages && list_->ColumnCount() > 0) list_->SetColumnWidth(0, ui::kLvscwAutoSize);
  SortList();
  list_->SetRedraw(true);
  UpdateFolderStatus();
  UpdateSelectionStatus();
  if (folderKind_.kind == FolderPlaylist) {
    uint32_t width = SettingDword("JB_PlaylistFirstColumnWidth", 0) & 0xFFFF;
    if (width && list_->ColumnCount() > 0) list_->SetColumnWidth(0, static_cast<int>(width));
  }
}

void CShellView::RememberReselect(int row) {
  reselect_ = row;
  reselectSelection_ = list_ ? list_->SelectedRows() : std::vector<int>();
}

void CShellView::RefreshItemList() {
  if (!list_) return;
  int count = list_->ItemCount();
  int target = std::min(list_->TopIndex() + list_->RowsPerPage() - 1, count - 2);
  int reselect = reselect_;
  if (reselect >= 0 && list_->SelectedRows() != reselectSelection_) reselect = -1;
  reselect_ = -1;
  reselectSelection_.clear();
  DropAllRows();
  FillItemList();
  // Only a row that exists is scrolled to (short lists have none).
  if (target >= 0 && target < list_->ItemCount()) list_->EnsureVisible(target);
  if (reselect >= 0 && reselect < list_->ItemCount()) {
    list_->SetItemState(reselect, ui::kLvisSelected | ui::kLvisFocused, ui::kLvisSelected | ui::kLvisFocused);
    list_->EnsureVisible(reselect);
    SendLeftKey();
  }
}

void CShellView::SetViewMode(int mode) {
  static constexpr uint32_t kModes[] = {FVM_ICON, FVM_DETAILS, FVM_SMALLICON, FVM_LIST};
  static constexpr uint32_t kTypes[] = {ui::kLvsIcon, ui::kLvsReport, ui::kLvsSmallIcon, ui::kLvsList};
  if (mode < 0 || mode > 3) return;
  viewMode_ = kModes[mode];
  if (list_) list_->SetStyle((list_->Style() & ~ui::kLvsTypeMask) | kTypes[mode]);
  bool data = folderKind_.kind == FolderData || folderKind_.kind == ItemDataFile;
  WriteSettingDword(data ? "Gen_DataViewMode" : "Gen_AudioViewMode", viewMode_);
}

void CShellView::SelectAllRows() {
  if (!list_) return;
  list_->SetItemState(-1, ui::kLvisSelected, ui::kLvisSelected);
  UpdateSelectionStatus();
}

void CShellView::InvertSelection() {
  if (!list_) return;
  for (int row = 0; row < list_->ItemCount(); ++row) list_->SetSelected(row, !list_->IsSelected(row));
  UpdateSelectionStatus();
}

// --- Cells and sorting

std::string CShellView::CellTextOf(int row, int columnId) {
  LPCITEMIDLIST ids = RowIds(row);
  if (!ids) return {};
  return CellText(RowItem(row, ids), columnId, folderKind_);
}

void CShellView::SortByListColumn(int listColumn) {
  if (!list_ || listColumn < 0 || listColumn >= list_->ColumnCount()) return;
  int sub = list_->Columns()[listColumn].subItem;
  // A second click on the sorted column reverses it.
  if (sub == sortColumn_) sortDirection_ = -sortDirection_;
  else {
    sortColumn_ = sub;
    sortDirection_ = 1;
  }
  SortList();
}

CShellView::RowKey CShellView::RowKeyOf(int row, LPCITEMIDLIST ids, std::string_view text, std::string_view name,
                                        bool times) const {
  RowKey k;
  text = text.substr(0, kSortTextLimit);
  k.pinned = PinnedMarks(text);
  k.ids = ids;
  bool timed = false;
  uint32_t added = 0, modified = 0;
  const ViewRow* known = nullptr;
  if (row >= 0 && static_cast<size_t>(row) < rows_.size() && rows_[static_cast<size_t>(row)].ids == ids &&
      rows_[static_cast<size_t>(row)].item)
    known = &rows_[static_cast<size_t>(row)];
  if (known && !times) {
    k.kind = known->kind;
    timed = IsTrackKind(k.kind);
  } else if (ids) {
    try {
      PidlItem item = RowItem(row, ids);
      k.kind = item.Kind();
      // Times count only between two tracks (other rows have none).
      timed = IsTrackKind(k.kind);
      if (timed && times) {
        added = item.TrackU32(offsetof(_AUDIODATA, added));
        modified = item.TrackU32(offsetof(_AUDIODATA, modified));
      }
    } catch (const CPidlException&) {
      k.kind = 0;
    }
  }
  k.key = MakeSortKey(text, name, timed, added, modified);
  return k;
}

int CShellView::CompareKeys(const RowKey& a, const RowKey& b, int columnId, SortRule rule, bool folderOrder) {
  if (a.pinned != b.pinned)
    if (auto pinned = ComparePinnedMarks(a.pinned, b.pinned)) return *pinned;
  if (folderOrder && UsesFolderOrder(folderKind_, columnId, a.kind, b.kind) && folder_) {
    HRESULT hr = folder_->CompareIDs(99, a.ids, b.ids);
    return static_cast<int16_t>(static_cast<uint16_t>(hr & 0xFFFF));
  }
  return CompareSortKeys(a.key, b.key, rule, sortDirection_);
}

int CShellView::CompareRows(int a, int b) {
  if (!list_) return 0;
  int columnId = columns_ ? columns_->ColumnOfSubItem(sortColumn_) : 0;
  SortRule rule = SortRuleOf(columns_ ? columns_->GetColumnName(columnId) : std::string());
  std::string textA = list_->ItemText(a, sortColumn_), nameA = list_->ItemText(a, 0);
  std::string textB = list_->ItemText(b, sortColumn_), nameB = list_->ItemText(b, 0);
  return CompareKeys(RowKeyOf(a, RowIds(a), textA, nameA, true), RowKeyOf(b, RowIds(b), textB, nameB, true), columnId,
                     rule, true);
}

void CShellView::SortList() {
  if (!list_) return;
  // Each row's texts and times are read once, not at every comparison; the
  // texts of a column come back to back, not one string a row.
  ui::ListView::TextColumn texts = list_->ItemTexts(sortColumn_);
  ui::ListView::TextColumn names;
  if (sortColumn_ != 0) names = list_->ItemTexts(0);
  const ui::ListView::TextColumn& nameColumn = sortColumn_ != 0 ? names : texts;
  std::vector<int64_t> params = list_->ItemParams();
  int rows = static_cast<int>(std::min(texts.size(), params.size()));
  int columnId = columns_ ? columns_->ColumnOfSubItem(sortColumn_) : 0;
  SortRule rule = SortRuleOf(columns_ ? columns_->GetColumnName(columnId) : std::string());
  bool times = rule == SortRule::Added || rule == SortRule::Modified;
  // Each column is folded once here, not at every comparison.
  std::string foldedTexts = FoldAsciiLetters(texts.joined);
  std::string foldedNames = sortColumn_ != 0 ? FoldAsciiLetters(names.joined) : std::string();
  const std::string& foldedNameColumn = sortColumn_ != 0 ? foldedNames : foldedTexts;
  auto folded = [](const ui::ListView::TextColumn& column, const std::string& fold, size_t r, size_t limit) {
    size_t begin = r ? column.ends[r - 1] : 0;
    return std::string_view(fold).substr(begin, std::min(column.ends[r] - begin, limit));
  };
  std::vector<RowKey> keys;
  keys.reserve(static_cast<size_t>(rows));
  std::vector<uint32_t> kinds;
  for (int row = 0; row < rows; ++row) {
    auto r = static_cast<size_t>(row);
    auto ids = reinterpret_cast<LPCITEMIDLIST>(static_cast<intptr_t>(params[r]));
    keys.push_back(RowKeyOf(row, ids, texts[r], nameColumn[r], times));
    AttachFolded(keys.back().key, folded(texts, foldedTexts, r, kSortTextLimit),
                 folded(nameColumn, foldedNameColumn, r, std::string::npos));
    if (std::find(kinds.begin(), kinds.end(), keys.back().kind) == kinds.end()) kinds.push_back(keys.back().kind);
  }
  // Lists hold few kinds of rows: whether the folder's order can decide is
  // found once over each pair of them, not at every comparison.
  bool folderOrder = false;
  for (uint32_t x : kinds)
    for (uint32_t y : kinds) folderOrder = folderOrder || UsesFolderOrder(folderKind_, columnId, x, y);
  std::vector<int> order = list_->SortItems([&](int a, int b) {
    if (a < 0 || b < 0 || a >= rows || b >= rows) return 0;
    return CompareKeys(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)], columnId, rule, folderOrder);
  });
  // The rows' checked items follow them (a row whose item is not where it was looks it up again).
  if (order.size() == rows_.size()) {
    std::vector<ViewRow> sorted;
    sorted.reserve(rows_.size());
    for (int i : order) sorted.push_back(std::move(rows_[static_cast<size_t>(i)]));
    rows_ = std::move(sorted);
  }
}

// --- Status texts

void CShellView::UpdateFolderStatus() {
  if (!list_) return;
  int rows = list_->ItemCount();
  const RowFolder& f = folderKind_;
  try {
    if (f.kind == FolderTrackList && f.key == kTrackListSearch) {
      // The search rows above the results are not matches.
      int matches = 0;
      for (int row = 0; row < rows; ++row) {
        LPCITEMIDLIST ids = RowIds(row);
        if (ids && RowItem(row, ids).Kind() != ItemCommandLink) ++matches;
      }
      SetStatus(0, MatchCountText(matches));
      // The product key, where the searches store it.
      SetStatus(1, SettingString("SQL_LastSearchQuery", ""));
      return;
    }
    if (f.kind != FolderTrackList && f.kind != FolderSegment && f.kind != FolderPlaylist && f.kind != FolderData) {
      SetStatus(0, ItemCountText(rows));
      return;
    }
    KernelDevice& d = TheClient();
    uint64_t freeKB = static_cast<uint32_t>(d.GetStorageFreeKB());
    PidlItem folder = PidlItem::LastOf(ids_.get());
    if (f.kind == FolderSegment && !d.SegmentOp3170()) {
      SetStatus(0, FolderFilesText(rows, static_cast<uint32_t>(d.GetSegmentUsedKB(folder.Id())), std::nullopt,
                                   static_cast<uint32_t>(d.GetSegmentFreeKB(folder.Id()))));
      return;
    }
    if (f.kind == FolderTrackList && f.key == kTrackListAll) {
      SetStatus(0, FolderFilesText(rows, static_cast<uint32_t>(d.GetAudioTotalKB()), std::nullopt, freeKB));
      return;
    }
    if (f.kind == FolderData) {
      KernelId root;
      d.GetDataRoot(root);
      if (root == folder.Id()) {
        SetStatus(0, FolderFilesText(rows, static_cast<uint32_t>(d.GetDataTotalKB()), std::nullopt, freeKB));
        return;
      }
    }
    // Every other list sums its rows: the KB first, then one division, so
    // many small files still add up.
    uint64_t kb = 0, seconds = 0;
    for (int row = 0; row < rows; ++row) {
      if (LPCITEMIDLIST ids = RowIds(row)) {
        PidlItem item = RowItem(row, ids);
        kb += RowSizeKB(item);
        seconds += RowSeconds(item);
      }
    }
    std::optional<uint64_t> length;
    if (f.kind != FolderData) length = seconds;
    SetStatus(0, FolderFilesText(rows, kb, length, freeKB));
  } catch (const CPidlException&) {
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("", e);
  }
}

void CShellView::UpdateSelectionStatus() {
  if (!list_) return;
  const RowFolder& f = folderKind_;
  if (f.kind != FolderSegment && f.kind != FolderTrackList && f.kind != FolderPlaylist && f.kind != FolderData) return;
  std::vector<int> selected = list_->SelectedRows();
  if (selected.empty()) return;
  uint64_t kb = 0, seconds = 0;
  try {
    for (int row : selected) {
      if (LPCITEMIDLIST ids = RowIds(row)) {
        PidlItem item = RowItem(row, ids);
        kb += RowSizeKB(item);
        seconds += RowSeconds(item);
      }
    }
  } catch (const CPidlException&) {
    return;
  }
  std::optional<uint64_t> length;
  if (f.kind != FolderData) length = seconds;
  SetStatus(0, SelectionText(static_cast<int>(selected.size()), kb, length));
}

// --- Notices of the list

int64_t CShellView::OnListNotify(int code, int64_t param) {
  void* p = reinterpret_cast<void*>(static_cast<intptr_t>(param));
  try {
    switch (code) {
      case ui::kLvnGetDispInfo: {
        auto* info = static_cast<ui::ListDispInfo*>(p);
        LPCITEMIDLIST ids = reinterpret_cast<LPCITEMIDLIST>(static_cast<intptr_t>(info->lParam));
        if (!ids) return 0;
        if (info->mask & ui::kLvifImage) {
          ComPtr<IExtractIconA> icon;
          if (folder_ && folder_->GetUIObjectOf(window_, 1, &ids, IID_IExtractIconA, nullptr, icon.Out()) == S_OK &&
              icon) {
            char file[260] = {};
            int32_t index = -1;
            uint32_t flags = 0;
            if (icon->GetIconLocation(GIL_FORSHELL, file, sizeof file, &index, &flags) == S_OK) info->image = index;
          }
        }
        if (info->mask & ui::kLvifText) {
          int column = columns_ ? columns_->ColumnOfSubItem(info->subItem) : 0;
          CopyCellText(CellText(RowItem(info->row, ids), column, folderKind_), info->text, info->capacity);
        }
        info->mask |= ui::kLvifDiSetItem;
        return 0;
      }
      case ui::kNmCustomDraw: {
        auto* draw = static_cast<ui::ListCustomDraw*>(p);
        if (draw->stage == ui::kCddsPrePaint) return ui::kCdrfNotifyItemDraw;
        if (draw->stage != ui::kCddsItemPrePaint) return ui::kCdrfDoDefault;
        if (watermark_) draw->textBackground = ui::kClrNone;
        else if (spreadsheet_ && folderKind_.kind != FolderCategory && draw->row % 2 == 0)
          draw->textBackground = spreadsheetColour_;
        if (folderKind_.kind == FolderTrackList && folderKind_.key == kTrackListQueue) {
          LPCITEMIDLIST ids = reinterpret_cast<LPCITEMIDLIST>(static_cast<intptr_t>(draw->lParam));
          PidlItem item = RowItem(draw->row, ids);
          if (item.Kind() == ItemQueueEntry && item.Count() == 0) draw->textBackground = 0x80FF80;
        }
        return ui::kCdrfDoDefault;
      }
      case ui::kNmClick:
        if (!firstClick_) {
          SendLeftKey();
          firstClick_ = true;
        }
        UpdateSelectionStatus();
        return 0;
      case ui::kNmDblClk:
      case ui::kNmReturn: ActivateSelection(); return 0;
      case ui::kHdnItemClick: SortByListColumn(static_cast<ui::ListItemNotice*>(p)->column); return 0;
      case ui::kLvnKeyDown: OnListKey(*static_cast<ui::ListKeyDown*>(p)); return 0;
      case ui::kLvnBeginDrag: BeginDragOut(); return 0;
      default: return 0;
    }
  } catch (const CPidlException&) {
    return 0;
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("", e);
    return 0;
  }
}

void CShellView::BeginDragOut() {
  std::vector<LPCITEMIDLIST> selected = SelectedIds();
  if (selected.empty() || !folder_) return;
  // Ordered lists are reordered inside, never dragged out.
  if (folderKind_.kind == FolderPlaylist || (folderKind_.kind == FolderTrackList && folderKind_.key == kTrackListQueue) ||
      (folderKind_.kind == FolderSegment && HasDeviceCapability(&KernelDevice::SupportsTrackOrder)))
    return;
  PidlItem first = PidlItem::LastOf(selected.front());
  switch (first.Kind()) {
    case FolderSpare:
    case FolderSegment:
    case FolderFmTuner:
    case FolderCategory:
    case ItemFmPreset: return;
    case FolderTrackList:
      if (first.SubKind() == 2 || first.SubKind() == kTrackListQueue) return;
      break;
    default: break;
  }
  ComPtr<IDataObject> data;
  if (folder_->GetUIObjectOf(window_, static_cast<uint32_t>(selected.size()), selected.data(), IID_IDataObject, nullptr,
                             data.Out()) != S_OK ||
      !data)
    return;
  auto* object = static_cast<CDataObject*>(data.get());
  SetDragOverOwnNamespace(false);
  ComPtr<IDropSource> source(new (std::nothrow) CDropSource(object));
  if (!source) return;
  uint32_t effect = DROPEFFECT_NONE;
  DoDragDrop(data.get(), source.get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
  // The copies were asked for but not staged (too many items, or the staging
  // failed): the copy to the computer takes over.
  if (!object->FileDropAsked() || object->FilesReady()) return;
  if (object->ItemCount() == 0) {
    ShowMessage("No items were selected.", ui::kMbIconInformation);
    return;
  }
  ShowMessage(
      "For large transfers, next time please right-click on your tracks and\nuse the 'Copy to Computer' function.  "
      "It is more efficient than\nthe normal Windows drag and drop process.\n\nClick OK to choose a destination "
      "folder to complete this transfer.",
      ui::kMbIconInformation);
  CPidlList selection;
  for (LPCITEMIDLIST p : selected) selection.Add(CPidlLast::FromList(p));
  const auto& t = GetTransferServices();
  if (t.TransferToPc) t.TransferToPc(ids_.get(), selection);
}

void CShellView::OnListKey(const ui::ListKeyDown& key) {
  if (key.vk == kVkReturn && key.alt) {
    if (list_) RememberReselect(list_->FocusedRow() >= 0 ? list_->FocusedRow() : list_->FirstSelected());
    InvokeOnSelection(3044);
  } else if ((key.vk == kVkInsert && key.shift) || (key.vk == 'V' && key.ctrl)) {
    OnCommand(view_cmd::kPaste);
  } else if (key.vk == kVkDelete) {
    InvokeOnSelection(folderKind_.kind == FolderPlaylist ? 3085 : 3035);
  } else if (key.vk == 'A' && key.ctrl) {
    SelectAllRows();
  } else if (key.vk == 'C' && key.ctrl) {
    OnCommand(view_cmd::kCopy);
  } else if (key.vk == kVkReturn) {
    ActivateSelection();
  }
}

// --- Activating rows

void CShellView::InvokeOnSelection(int verb) {
  std::vector<LPCITEMIDLIST> ids = SelectedIds();
  if (ids.empty() || !folder_) {
    ShowMessage("No files are selected.", ui::kMbIconInformation);
    return;
  }
  ComPtr<IContextMenu> menu;
  if (folder_->GetUIObjectOf(window_, static_cast<uint32_t>(ids.size()), ids.data(), IID_IContextMenu, nullptr,
                             menu.Out()) != S_OK ||
      !menu)
    return;
  CMINVOKECOMMANDINFO info;
  info.hwnd = window_;
  info.lpVerb = static_cast<uintptr_t>(verb);
  menu->InvokeCommand(&info);
}

void CShellView::RunTrackDefaultAction() {
  std::vector<LPCITEMIDLIST> ids = SelectedIds();
  if (ids.empty()) {
    ShowMessage("No files are selected.", ui::kMbIconInformation);
    return;
  }
  uint32_t kind = KindOf(ids.front());
  uint32_t action = (kind == ItemNote || kind == ItemContact) ? 0 : SettingDword("Gen_TrackDefaultAction", 0);
  // Play on the computer, play on the device, add to the queue, else edit.
  int verb = action == 1 ? 3075 : action == 2 ? 3050 : action == 3 ? 3055 : 3044;
  InvokeOnSelection(verb);
}

void CShellView::ActivateSelection() {
  if (!list_) return;
  int row = list_->FirstSelected();
  if (row < 0) return;
  LPCITEMIDLIST ids = RowIds(row);
  if (!ids) return;
  PidlItem item = PidlItem::LastOf(ids);
  const ToolServices& tools = GetToolServices();
  switch (item.Kind()) {
    case ItemTrack:
    case ItemTrackWithPlaylists:
    case ItemPlaylistEntry:
    case ItemQueueEntry:
    case ItemContact:
    case ItemNote: RunTrackDefaultAction(); return;
    case ItemLink:
    case 0x2009:
    case ItemNotice: OpenWithShell(item.Text()); return;
    case ItemUtility:
      if (tools.ShowUtilityDialog) tools.ShowUtilityDialog(window_, static_cast<int>(item.Id().key[0]));
      return;
    case ItemCommandLink:
      switch (item.SubKind()) {
        case 2055:
          if (tools.SimpleSearch) tools.SimpleSearch();
          return;
        case 2056:
          if (tools.AdvancedSearch) tools.AdvancedSearch();
          return;
        case 2071: ForwardFolderCommand(3045); return;
        case 2072: ForwardFolderCommand(3047); return;
        case 2081:
          if (tools.SyncOutlookDefaultFolder) tools.SyncOutlookDefaultFolder();
          return;
        case 2082:
          if (tools.SyncOutlookChosenFolder) tools.SyncOutlookChosenFolder();
          return;
        case 2083:
        case 2084: ForwardFolderCommand(3043); return;
        case 2099:
          if (tools.ShowRoamdeckDialog) tools.ShowRoamdeckDialog(window_);
          return;
        case 3011: OpenWithShell(item.Text()); return;
        default: return;
      }
    default:
      // Any other row is a folder: the browser goes into it.
      if (browser_) browser_->BrowseObject(ids, SBSP_RELATIVE);
      return;
  }
}

}  // namespace hub
