#include "shell/transfer/transfer_manager_pages.h"

#include <algorithm>
#include <cstdio>

#include "common/printf.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "common/ui/progress_dialogs.h"
#include "manager/tags/tag_writer.h"
#include "platform/ui/mouse.h"
#include "platform/ui/pump.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/tool_services.h"
#include "shell/transfer/transcode_rules.h"
#include "shell/transfer/transfer_manager_rows.h"

namespace hub {
namespace ui = platform::ui;
namespace {

constexpr int kVkDelete = 0x2E;
// Image 1 marks a track missing artist, album or title; image 2 is a data file.
constexpr int kImageTrack = 0, kImageIncomplete = 1, kImageDataFile = 2;

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtensionOf(const std::string& path) {
  std::string name = NameOf(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

void Pump() { ui::ProcessPendingUiWork(); }

void NothingSelected() { ShowMessage("No items selected.", ui::kMbIconInformation); }

void ShowMenuAt(ui::Window& page, const ui::Menu& menu) {
  uint32_t chosen = ui::TrackPopupMenu(menu, ui::kTpmReturnCmd | ui::kTpmRightButton, page.Handle());
  if (chosen) page.OnCommand(static_cast<int>(chosen));
}

}  // namespace

ui::Menu TransferManagerMenu() {
  ui::Menu m;
  m.AppendItem(CTMAudioPage::kEditTags, "Edit Tag(s)...");
  m.AppendSeparator();
  m.AppendItem(CTMAudioPage::kCopyField, "Copy Field to Field...");
  m.AppendItem(CTMAudioPage::kSwapFields, "Swap Two Tag Fields...");
  m.AppendItem(CTMAudioPage::kAutoFillTrackNumbers, "Auto-Fill Track Numbers...");
  m.AppendSeparator();
  m.AppendItem(CTMAudioPage::kPrependArtist, "Prepend Artist to Title");
  m.AppendItem(CTMAudioPage::kPrependTrackNumber, "Prepend Track Number to Title");
  m.AppendSeparator();
  m.AppendItem(CTMAudioPage::kReread, "Re-Read Fields from Tag");
  m.AppendItem(CTMAudioPage::kReparse, "Reparse Fields from Filename");
  m.AppendSeparator();
  m.AppendItem(CTMAudioPage::kRemove, "Remove from Transfer List");
  return m;
}

// --- CTMAudioPage

CTMAudioPage::CTMAudioPage(const std::vector<std::string>& paths)
    : PropertyPage(ui::DialogTemplate{kTemplateId,
                                      "Audio Tracks",
                                      {{kPathEdit, ui::ControlKind::Edit, ""}, {kList, ui::ControlKind::ListView, ""}},
                                      375,
                                      250}),
      paths_(paths) {}

CTMAudioPage::~CTMAudioPage() = default;

bool CTMAudioPage::OnInitDialog() {
  PropertyPage::OnInitDialog();
  ui::ListView& list = List();
  list.SetFullRowSelect(true);
  static constexpr struct {
    const char* text;
    int width;
    int format;
  } kColumns[] = {{"Artist", 125, ui::kLvcfmtLeft}, {"Album", 125, ui::kLvcfmtLeft},  {"#", 30, ui::kLvcfmtRight},
                  {"Title", 125, ui::kLvcfmtLeft},  {"Year", 40, ui::kLvcfmtLeft},    {"Genre", 65, ui::kLvcfmtLeft},
                  {"Comment", 150, ui::kLvcfmtLeft}, {"Length", 65, ui::kLvcfmtLeft}, {"Bitrate", 65, ui::kLvcfmtLeft}};
  for (const auto& c : kColumns) list.InsertColumn(list.ColumnCount(), c.text, c.width, c.format);

  CDeleteDialog progress;
  progress.Begin("Reading tag information...", int(paths_.size()));
  for (size_t i = 0; i < paths_.size(); ++i) {
    const std::string& path = paths_[i];
    if (!IsTransferable(path)) continue;
    progress.SetStatus(NameOf(path));
    if (i % 25 == 0) {
      progress.Step();
      Pump();
    }
    // The timed read fills its own copy: a read that gives up leaves this record alone.
    auto record = std::make_unique<_AUDIODATA>();
    if (ReadTagTimed(path, *record, true, false) == 0) continue;
    record->path.Set(path);
    rows_.push_back(std::move(record));
  }
  progress.End();
  initialised_ = true;
  FillList();
  OnSize(Template().width, Template().height);
  return true;
}

void CTMAudioPage::OnSize(int width, int height) {
  if (!initialised_) return;
  // The edit box takes the top 22 of the client area less 10 on every side; the list starts 30 down.
  List().SetClientSize(std::max(0, width - 20), std::max(0, height - 40));
}

void CTMAudioPage::FillList() {
  ui::ListView& list = List();
  const int keep = RowToKeepVisible(list.TopIndex(), list.RowsPerPage(), list.ItemCount());
  list.SetRedraw(false);
  list.DeleteAllItems();
  for (size_t i = 0; i < rows_.size(); ++i) {
    const _AUDIODATA& r = *rows_[i];
    const int row = list.InsertItem(int(i), r.artist.str());
    const bool incomplete = TrimWhitespace(r.artist.str()).empty() || TrimWhitespace(r.album.str()).empty() ||
                            TrimWhitespace(r.title.str()).empty();
    list.SetItemImage(row, incomplete ? kImageIncomplete : kImageTrack);
    list.SetItemText(row, 1, r.album.str());
    list.SetItemText(row, 2, Printf("%d", int(r.trackNumber)));
    list.SetItemText(row, 3, r.title.str());
    list.SetItemText(row, 4, Printf("%d", int(r.year)));
    list.SetItemText(row, 5, r.genre.str());
    list.SetItemText(row, 6, r.comment.str());
    list.SetItemText(row, 7, Printf("%d:%02d", int(r.length / 60), int(r.length % 60)));
    list.SetItemText(row, 8, Printf("%d Kbps", int(r.bitrate)));
  }
  list.SetRedraw(true);
  if (keep >= 0) list.EnsureVisible(keep);
}

void CTMAudioPage::ShowSelectedPath() {
  ui::ListView& list = List();
  if (list.SelectedCount() != 1) return;
  const int row = list.FirstSelected();
  if (row >= 0 && row < int(rows_.size())) Ctl<ui::Control>(kPathEdit).SetText(rows_[row]->path.str());
}

std::vector<int> CTMAudioPage::Selection() {
  std::vector<int> rows = List().SelectedRows();
  rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int r) { return r < 0 || r >= int(rows_.size()); }),
             rows.end());
  if (rows.empty()) NothingSelected();
  return rows;
}

void CTMAudioPage::ContextMenu() { ShowMenuAt(*this, TransferManagerMenu()); }

bool CTMAudioPage::OnCommand(int id) {
  switch (id) {
    case kEditTags:
    case kAutoFillTrackNumbers:
    case kRemove:
    case kReparse:
    case kReread:
    case kSwapFields:
    case kCopyField:
    case kPrependArtist:
    case kPrependTrackNumber: break;
    default: return PropertyPage::OnCommand(id);
  }
  const std::vector<int> rows = Selection();
  if (rows.empty()) return true;
  switch (id) {
    case kRemove: RemoveRows(rows_, rows); break;
    case kEditTags: EditTags(rows); break;
    case kCopyField: ChooseAndApply(true, rows); break;
    case kSwapFields: ChooseAndApply(false, rows); break;
    case kAutoFillTrackNumbers: AutoFill(rows); break;
    case kPrependArtist:
      for (int r : rows) PrependArtistToTitle(*rows_[r]);
      break;
    case kPrependTrackNumber:
      for (int r : rows) PrependTrackNumberToTitle(*rows_[r]);
      break;
    case kReread: ReadAgain(rows, false); break;
    case kReparse: ReadAgain(rows, true); break;
  }
  FillList();
  return true;
}

void CTMAudioPage::EditTags(const std::vector<int>& rows) {
  std::vector<const _AUDIODATA*> selected;
  for (int r : rows) selected.push_back(rows_[r].get());
  TagEditMerge merge = MergeForTagEdit(selected);
  if (GetToolServices().EditTagFields(Handle(), kTagEditorLayout, merge.record, merge.checked) != ui::kIdOk) return;
  for (int r : rows) ApplyTagEdit(merge.record, merge.checked, *rows_[r]);
}

void CTMAudioPage::ChooseAndApply(bool copy, const std::vector<int>& rows) {
  int first = 0, second = 0;
  const int answer =
      copy ? GetToolServices().ChooseTwoFields(Handle(), "Copy Tag Field", "Copy this field...", "to this field:",
                                               first, second)
           : GetToolServices().ChooseTwoFields(Handle(), "Swap Tag Fields", "Swap this field...", "with this field:",
                                               first, second);
  if (answer != ui::kIdOk) return;
  for (int r : rows) {
    const bool done = copy ? CopyTrackField(first, second, *rows_[r]) : SwapTrackFields(first, second, *rows_[r]);
    if (!done) {
      ShowMessage("Unknown field.", ui::kMbIconInformation);
      return;
    }
  }
}

void CTMAudioPage::AutoFill(const std::vector<int>& rows) {
  int start = 1, step = 1;
  if (GetToolServices().AutoFillTrackNumbers(Handle(), start, step) != ui::kIdOk) return;
  int number = start;
  for (int r : rows) {
    rows_[r]->trackNumber = uint32_t(number);
    number += step;
  }
}

void CTMAudioPage::ReadAgain(const std::vector<int>& rows, bool fromPathOnly) {
  for (int r : rows) {
    _AUDIODATA& record = *rows_[r];
    record.artist.Set("");
    record.album.Set("");
    record.title.Set("");
    const std::string path = record.path.str();
    ReadTagTimed(path, record, fromPathOnly, fromPathOnly);
  }
}

int64_t CTMAudioPage::OnNotify(ui::Control& from, int code, int64_t param) {
  if (from.Id() != kList) return PropertyPage::OnNotify(from, code, param);
  switch (code) {
    case ui::kNmRClick: ContextMenu(); break;
    case ui::kLvnBeginDrag: {
      dragRow_ = reinterpret_cast<const ui::ListItemNotice*>(param)->row;
      dropTarget_ = -1;
      ui::SetCapture(Handle());
      break;
    }
    case ui::kLvnKeyDown:
      if (reinterpret_cast<const ui::ListKeyDown*>(param)->vk == kVkDelete) OnCommand(kRemove);
      break;
    case ui::kLvnItemActivate: OnCommand(kEditTags); break;
    case ui::kNmClick:
    case ui::kLvnItemChanged: ShowSelectedPath(); break;
    default: break;
  }
  return 0;
}

void CTMAudioPage::OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
  if (message == ui::kWmMouseMove) OnMouseMove(ui::PointFromParam(lParam));
  else if (message == ui::kWmLButtonUp) OnLButtonUp(ui::PointFromParam(lParam));
  else PropertyPage::OnMessage(message, wParam, lParam);
}

void CTMAudioPage::OnMouseMove(ui::Point point) {
  if (ui::GetCapture() != Handle() || dragRow_ < 0) return;
  ui::ListView& list = List();
  const int row = list.HitTest(point);
  if (row < 0) return;  // over no row the last target stays marked
  if (dropTarget_ >= 0) list.SetItemState(dropTarget_, 0, ui::kLvisDropHilited);
  list.SetItemState(row, ui::kLvisDropHilited, ui::kLvisDropHilited);
  dropTarget_ = row;
}

void CTMAudioPage::OnLButtonUp(ui::Point point) {
  if (ui::GetCapture() != Handle() || dragRow_ < 0) return;
  ui::ReleaseCapture();
  ui::ListView& list = List();
  if (dropTarget_ >= 0) list.SetItemState(dropTarget_, 0, ui::kLvisDropHilited);
  dropTarget_ = -1;
  const int target = list.HitTest(point);
  const int dragged = dragRow_;
  dragRow_ = -1;
  if (target >= 0) MoveRow(rows_, dragged, target);
  FillList();
}

void CTMAudioPage::OnOK() {
  CDeleteDialog progress;
  progress.Begin("Updating tag information...", int(rows_.size()));
  TagWriteBackLogFile log;
  log.Open();
  const bool enabled = SettingDword("ATM_TWB_Enable", 0) != 0;
  log.WriteString(Printf("Tag WriteBack is %s.", enabled ? "enabled" : "disabled"));
  if (enabled) {
    const bool v1 = SettingDword("ATM_TWB_UseV1", 0) != 0;
    const bool v2 = SettingDword("ATM_TWB_UseV2", 0) != 0;
    log.WriteString(Printf("ID3V1 format is %s.", v1 ? "enabled" : "disabled"));
    log.WriteString(Printf("ID3V2 format is %s.", v2 ? "enabled" : "disabled"));
    if (!v1 && !v2) log.WriteString("Defaulting to ID3V1 format for write-back.");
    for (const auto& row : rows_) {
      const std::string path = row->path.str();
      std::string line = path + ":";
      _AUDIODATA current;
      if (ReadTagTimed(path, current, true, false) == 0) {
        line += "Tag data could not be read from file, it may be a corrupt file...skipping.";
      } else {
        current.path.Set(path);
        if (TrackRecordsDiffer(*row, current) == 0) {
          line += "Tag data did not change...skipping.";
        } else {
          std::string extension = ExtensionOf(path);
          line += "File type is " + extension + "...";
          std::transform(extension.begin(), extension.end(), extension.begin(),
                         [](unsigned char c) { return char(std::tolower(c)); });
          if (extension == ".mp3" || extension == ".wma") {
            line += "writing...";
            line += WriteTagsWithTimeout(*row, 0) ? "done." : "error.";
          } else {
            line += "skipping.";
          }
        }
      }
      log.WriteString(line);
      progress.SetStatus(NameOf(path));
      progress.Step();
      Pump();
    }
  }
  log.Close();
  progress.End();
}

// --- CTMDataPage

CTMDataPage::CTMDataPage(const std::vector<std::string>& paths)
    : PropertyPage(ui::DialogTemplate{kTemplateId,
                                      "Data Files",
                                      {{kSkipAll, ui::ControlKind::CheckBox, "Check here to SKIP all data files."},
                                       {kList, ui::ControlKind::ListView, ""}},
                                      358,
                                      225}),
      paths_(paths) {}

CTMDataPage::~CTMDataPage() = default;

void CTMDataPage::DoDataExchange(ui::DataExchange& dx) { dx.Check(kSkipAll, skipAll_); }

bool CTMDataPage::OnInitDialog() {
  PropertyPage::OnInitDialog();
  ui::ListView& list = List();
  list.SetFullRowSelect(true);
  list.InsertColumn(0, "Filename", 200);
  list.InsertColumn(1, "Source Path", 400);
  for (const std::string& path : paths_) {
    if (IsTransferable(path)) continue;
    auto record = std::make_unique<_AUDIODATA>();
    record->path.Set(path);
    rows_.push_back(std::move(record));
  }
  FillList();
  initialised_ = true;
  OnSize(Template().width, Template().height);
  return true;
}

void CTMDataPage::OnSize(int width, int height) {
  if (initialised_) List().SetClientSize(std::max(0, width - 20), std::max(0, height - 40));
}

void CTMDataPage::FillList() {
  ui::ListView& list = List();
  list.SetRedraw(false);
  list.DeleteAllItems();
  for (size_t i = 0; i < rows_.size(); ++i) {
    const std::string path = rows_[i]->path.str();
    const int row = list.InsertItem(int(i), NameOf(path));
    list.SetItemImage(row, kImageDataFile);
    list.SetItemText(row, 1, path);
  }
  list.SetRedraw(true);
}

void CTMDataPage::RemoveSelected() {
  std::vector<int> rows = List().SelectedRows();
  if (rows.empty()) {
    NothingSelected();
    return;
  }
  RemoveRows(rows_, rows);
  FillList();
}

bool CTMDataPage::OnCommand(int id) {
  switch (id) {
    case CTMAudioPage::kRemove: RemoveSelected(); return true;
    // The rest of the shared menu does nothing on this page.
    case CTMAudioPage::kAutoFillTrackNumbers:
    case CTMAudioPage::kPrependArtist:
    case CTMAudioPage::kPrependTrackNumber:
    case CTMAudioPage::kReread:
    case CTMAudioPage::kReparse: return true;
    default: return PropertyPage::OnCommand(id);
  }
}

int64_t CTMDataPage::OnNotify(ui::Control& from, int code, int64_t param) {
  if (from.Id() != kList) return PropertyPage::OnNotify(from, code, param);
  if (code == ui::kNmRClick) {
    ui::Menu menu = TransferManagerMenu();
    for (int i = 0; i < 4; ++i) menu.RemoveAt(0);
    ShowMenuAt(*this, menu);
  } else if (code == ui::kLvnKeyDown && reinterpret_cast<const ui::ListKeyDown*>(param)->vk == kVkDelete) {
    RemoveSelected();
  }
  return 0;
}

// --- CTMPlaylistPage

CTMPlaylistPage::CTMPlaylistPage(TransferGroups& sources)
    : PropertyPage(ui::DialogTemplate{
          kTemplateId,
          "Playlists",
          {{kText, ui::ControlKind::Static,
            "The following directories and playlist files were detected in your transfer.  Select which playlists "
            "you would like to be created on your player."},
           {kSelectAll, ui::ControlKind::Button, "Select All"},
           {kDeselectAll, ui::ControlKind::Button, "Deselect All"},
           {kOverwrite, ui::ControlKind::CheckBox, "Overwrite existing playlists with the same name."},
           {kList, ui::ControlKind::ListView, ""}},
          348,
          220}),
      overwrite_(int(SettingDword("JB_Tx_OverwritePlaylists", 0) != 0)),
      sources_(sources) {}

void CTMPlaylistPage::DoDataExchange(ui::DataExchange& dx) { dx.Check(kOverwrite, overwrite_); }

bool CTMPlaylistPage::OnInitDialog() {
  PropertyPage::OnInitDialog();
  ui::ListView& list = List();
  list.SetCheckBoxes(true);
  list.SetFullRowSelect(true);
  list.InsertColumn(0, "Name", 400);
  list.InsertColumn(1, "Containing", 125);
  initialised_ = true;
  FillList();
  OnSize(Template().width, Template().height);
  return true;
}

void CTMPlaylistPage::OnSize(int width, int height) {
  if (initialised_) List().SetClientSize(std::max(0, width - 20), std::max(0, height - 85));
}

void CTMPlaylistPage::FillList() {
  ui::ListView& list = List();
  list.DeleteAllItems();
  const bool unchecked = SettingDword("JB_Tx_DisableAskAutoPlaylistCreation", 0) != 0;
  for (const PlaylistSourceRow& source : PlaylistSourceRows(sources_)) {
    const int row = list.InsertItem(list.ItemCount(), source.name);
    list.SetItemText(row, 1, Printf("%d", source.count));
    list.SetCheck(row, !unchecked);
  }
}

void CTMPlaylistPage::CheckAll(bool checked) {
  ui::ListView& list = List();
  for (int row = 0; row < list.ItemCount(); ++row) list.SetCheck(row, checked);
}

bool CTMPlaylistPage::OnCommand(int id) {
  switch (id) {
    case kSelectAll: CheckAll(true); return true;
    case kDeselectAll: CheckAll(false); return true;
    default: return PropertyPage::OnCommand(id);
  }
}

int64_t CTMPlaylistPage::OnNotify(ui::Control& from, int code, int64_t param) {
  if (from.Id() == kList && code == ui::kNmRClick) {
    ui::Menu menu;
    menu.AppendItem(kSelectAll, "Select All");
    menu.AppendItem(kDeselectAll, "Deselect All");
    ShowMenuAt(*this, menu);
    return 0;
  }
  return PropertyPage::OnNotify(from, code, param);
}

void CTMPlaylistPage::OnOK() {
  ui::ListView& list = List();
  for (int row = 0; row < list.ItemCount(); ++row)
    if (list.GetCheck(row)) checked_.push_back(list.ItemText(row, 0));
  PruneUncheckedSources(sources_, checked_);
  WriteSettingDword("JB_Tx_OverwritePlaylists", uint32_t(overwrite_));
}

}  // namespace hub
