// The media-library plug-in and its view.
#include "shell/options/winamp_ml.h"

#include <cstdio>
#include <exception>

#include "common/device_track_name.h"
#include "common/printf.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "common/track_name.h"
#include "common/web_port.h"
#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/list_view.h"
#include "platform/ui/menu.h"
#include "platform/ui/prompts.h"
#include "platform/window/window.h"
#include "shell/namespace/item_list.h"
#include "shell/namespace/pidl_access.h"
#include "shell/namespace/pidl_data.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"

namespace hub {

using namespace platform::ui;
namespace ml = platform::winamp;

namespace {

constexpr uint32_t kSendTimeoutMs = 10000;
constexpr int kTrackListGrowth = 257;
constexpr uint32_t kWmNotify = 0x4E;
// The tree entry always carries the first product's name, whichever product this is.
constexpr const char* kFirstProductName = "Kestro";

struct ColumnDef {
  const char* title;
  int width;
  int format;
};
constexpr ColumnDef kColumns[] = {{"Name", 500, 2},   {"Type", 40, 0},   {"Size", 70, 0},    {"Length", 60, 1},
                                  {"Bitrate", 70, 1}, {"Genre", 100, 1}, {"Year", 40, 0}, {"Comment", 200, 1}};
constexpr int kColumnCount = 8;

// Module-wide, as the host's loader keeps one copy of the library per load.
struct PluginState {
  ml::MlPlugin record{ml::kMlPluginVersion, "ml_kestro", &WinampPluginInit, [] {}, &WinampPluginMessageProc,
                      0,                    0,           nullptr};
  std::string title;
  ml::MlTreeItemRequest request{0, nullptr, 1, 0};
  intptr_t treeId = 0;
  // Host functions, asked again by each new view.
  ml::MlColourFunction colour = nullptr;
  ml::MlDialogMessageFunction dialogMessage = nullptr;
  ml::MlPaintBordersFunction paintBorders = nullptr;
  ml::MlLayoutFunction layoutInit = nullptr;
  ml::MlLayoutFunction layoutUpdate = nullptr;
  int64_t skin = 0;
  std::unique_ptr<CWinampMLDlg> view;
};
PluginState& State() {
  static PluginState s;
  return s;
}

ml::MlLayoutEntry g_layout[8] = {{1101, 0x11, {}}, {6004, 0x101, {}}, {6005, 0x101, {}}, {6006, 0x101, {}},
                                 {6007, 0x101, {}}, {6008, 0x101, {}}, {6002, 0x101, {}}, {6009, 0x1010, {}}};

int64_t SendToLibrary(uint64_t wParam, int64_t code) {
  int64_t result = 0;
  platform::SendWindowMessage(static_cast<platform::WindowHandle>(State().record.libraryWindow), ml::kWmMlIpc, wParam,
                              code, kSendTimeoutMs, &result);
  return result;
}

template <class F>
F HostFunction(int code) {
  return reinterpret_cast<F>(static_cast<intptr_t>(SendToLibrary(static_cast<uint64_t>(code), ml::kMlIpcGetHostFunction)));
}

bool IsNotTrack(uint32_t kind) { return kind == 0x2007 || kind == 0x2008 || kind == 0x2010; }

}  // namespace

// --- Texts ---

std::string WinampTreeTitle(uint32_t deviceNumber, uint32_t modelCode) {
  std::string label = "Unknown";
  if (deviceNumber == 0) {
    static const char* kLabels[] = {"JB1", "JB2", "JB3", "Zen"};
    if (modelCode >= 1 && modelCode <= 4) label = kLabels[modelCode - 1];
  } else if (deviceNumber == 1 && modelCode == 1) {
    label = "JB1";
  }
  return std::string(kFirstProductName) + " Explorer " + label;
}

std::string WinampStatusText(int count, uint64_t bytes, uint64_t seconds, bool selection) {
  return Printf("%d file%s %s(%.2fMB, %02llu:%02llu:%02llu).", count, count > 1 ? "s" : "", selection ? "selected " : "",
                static_cast<double>(bytes) * (1.0 / 1048576), static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds % 3600 / 60), static_cast<unsigned long long>(seconds % 60));
}

std::string WinampStreamUrl(uint32_t port, uint64_t trackId, std::string_view urlName) {
  // As the web pages name a stream: without the characters the URL name never holds, every other byte escaped once.
  std::string clean;
  for (char c : urlName)
    if (c != '#' && c != '\\' && c != '/') clean.push_back(c);
  return Printf("http://localhost:%u/stream/%llu/", port, static_cast<unsigned long long>(trackId)) +
         PercentEncodePathSegment(clean);
}

std::string WinampCellText(const _AUDIODATA& t, int column) {
  switch (column) {
    case 1: return std::string(GetExtensionForFileType(t.fileType));
    case 2: return Printf("%.2f MB", static_cast<double>(t.size) * (1.0 / 1048576));
    case 3: return Printf("%d:%02d", static_cast<int>(t.length / 60), static_cast<int>(t.length % 60));
    case 4: return t.bitrate == 1 ? std::string("VBR") : Printf("%d Kbps", static_cast<int>(t.bitrate));
    case 5: return t.genre.str();
    case 6: return Printf("%d", static_cast<int>(t.year));
    case 7: return t.comment.str();
    default: return {};
  }
}

// --- The plug-in ---

ml::MlPlugin* WinampMediaLibraryPlugin(void* instance) {
  State().record.instance = instance;
  return &State().record;
}

int WinampPluginInit() {
  PluginState& s = State();
  s.title = WinampTreeTitle(ClientDeviceNumber(), ClientOwnId().key[0]);
  s.request = {0, s.title.c_str(), 1, 0};
  SendToLibrary(reinterpret_cast<uint64_t>(&s.request), ml::kMlIpcAddTreeItem);
  s.treeId = s.request.id;
  return 0;
}

intptr_t WinampPluginMessageProc(int message, intptr_t param1, intptr_t param2, intptr_t /*param3*/) {
  PluginState& s = State();
  if (message != ml::kMlMsgTreeItemOpen || param1 != s.treeId || s.treeId == 0) return 0;
  try {
    CloseWinampView();
    auto view = std::make_unique<CWinampMLDlg>(&s.record);
    if (!view->Create(static_cast<WindowHandle>(param2))) return 0;
    view->Show(true);
    s.view = std::move(view);
    return static_cast<intptr_t>(s.view->Handle());
  } catch (const std::exception& e) {
    ReportClientException("The player's tracks could not be listed.", e);
    return 0;
  }
}

CWinampMLDlg* CurrentWinampView() { return State().view.get(); }

void CloseWinampView() {
  PluginState& s = State();
  if (!s.view) return;
  s.view->DestroyWindow();
  s.view.reset();
}

// --- The view ---

CWinampMLDlg::CWinampMLDlg(ml::MlPlugin* plugin)
    : Dialog(DialogTemplate{kTemplate,
                            "",
                            {{kList, ControlKind::ListView, ""},
                             {kStatus, ControlKind::Static, ""},
                             {kBanner, ControlKind::Static, TheProductProfile().explorerName},
                             {kPlay, ControlKind::Button, "Play"},
                             {kPlayAll, ControlKind::Button, "Play All"},
                             {kEnqueue, ControlKind::Button, "Enqueue"},
                             {kEnqueueAll, ControlKind::Button, "Enqueue All"},
                             {kHelp, ControlKind::Button, "Help"}},
                            600,
                            400}),
      plugin_(plugin) {
  // The namespace's root, and the first thing it lists is what this view shows.
  ShellMalloc holder;
  CShellFolder* root = new CShellFolder(nullptr, nullptr);
  platform::ComPtr<CShellFolder> rootHeld(root);
  OwnedIdList empty(CopyIdList(holder, nullptr));
  root->Initialize(empty.get());
  platform::ComPtr<platform::IEnumIDList> list;
  if (root->EnumObjects(0, platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS, list.Put()) != platform::S_OK || !list)
    return;
  LPITEMIDLIST first = nullptr;
  uint32_t got = 0;
  if (list->Next(1, &first, &got) != platform::S_OK || got == 0) return;
  OwnedIdList firstHeld(first);
  void* child = nullptr;
  if (root->BindToObject(first, nullptr, platform::IID_IShellFolder, &child) == platform::S_OK)
    folder_ = static_cast<CShellFolder*>(static_cast<platform::IShellFolder*>(child));
}

CWinampMLDlg::~CWinampMLDlg() {
  rows_.clear();
  if (folder_) folder_->Release();
}

template <class F>
void CWinampMLDlg::Guarded(std::string_view context, F&& f) {
  try {
    f();
  } catch (const UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException(context, e);
  }
}

bool CWinampMLDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  PluginState& s = State();
  s.colour = HostFunction<ml::MlColourFunction>(ml::kHostColour);
  s.dialogMessage = HostFunction<ml::MlDialogMessageFunction>(ml::kHostDialogMessage);
  s.paintBorders = HostFunction<ml::MlPaintBordersFunction>(ml::kHostPaintBorders);
  s.layoutInit = HostFunction<ml::MlLayoutFunction>(ml::kHostLayoutInit);
  s.layoutUpdate = HostFunction<ml::MlLayoutFunction>(ml::kHostLayoutUpdate);
  if (s.layoutInit) s.layoutInit(Handle(), g_layout, 8);

  ListView& list = Ctl<ListView>(kList);
  for (int i = 0; i < kColumnCount; ++i)
    list.InsertColumn(i, kColumns[i].title, kColumns[i].width, kColumns[i].format == 1 ? kLvcfmtRight : kLvcfmtLeft);
  list.SetExStyle(kLvsExFullRowSelect);
  list.SetStyle((list.Style() & ~kLvsTypeMask) | kLvsReport | kLvsShareImageLists);
  textColour_ = s.colour ? s.colour(1) : 0xFFFFFF;
  backColour_ = s.colour ? s.colour(0) : 0;
  // Controls of the model have no window of their own: the view stands for its list.
  s.skin = SendToLibrary(Handle(), ml::kMlIpcSkinList);
  sortColumn_ = 0;
  sortDirection_ = 1;
  Guarded("The player's tracks could not be listed.", [&] { FillList(); });
  return true;
}

const CWinampMLDlg::Row* CWinampMLDlg::RowAt(int row) const {
  const ListView* list = Get<ListView>(kList);
  if (!list || row < 0 || row >= list->ItemCount()) return nullptr;
  int64_t index = list->ItemParam(row);
  return index >= 0 && static_cast<size_t>(index) < rows_.size() ? &rows_[static_cast<size_t>(index)] : nullptr;
}

std::string CWinampMLDlg::CellText(int row, int column) const {
  const Row* r = RowAt(row);
  if (!r) return {};
  PidlItem item = PidlItem::LastOf(r->ids.get());
  if (column == 0) return std::string(item.Name());
  if (IsNotTrack(item.Kind())) return {};
  return WinampCellText(item.Track(), column);
}

void CWinampMLDlg::FillList() {
  ListView& list = Ctl<ListView>(kList);
  list.DeleteAllItems();
  rows_.clear();
  if (!folder_) return;
  platform::ComPtr<platform::IEnumIDList> items;
  if (folder_->EnumObjects(0, platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS, items.Put()) != platform::S_OK ||
      !items)
    return;
  list.SetRedraw(false);
  for (;;) {
    LPITEMIDLIST ids = nullptr;
    uint32_t got = 0;
    if (items->Next(1, &ids, &got) != platform::S_OK || got == 0) break;
    rows_.push_back({OwnedIdList(ids)});
  }
  if (!rows_.empty() && IsNotTrack(PidlItem::LastOf(rows_[0].ids.get()).Kind())) {
    list.SetColumnWidth(0, 500);
    for (int c = 1; c < kColumnCount; ++c) list.SetColumnWidth(c, 0);
  }
  for (size_t i = 0; i < rows_.size(); ++i) list.InsertCallbackItem(static_cast<int>(i), static_cast<int64_t>(i));
  SortByColumn(-1);
  uint32_t width = 0;
  if (ReadSettingDword("JB_ViewFirstColumnWidth", width) && width > 0) list.SetColumnWidth(0, static_cast<int>(width & 0xFFFF));
  list.SetRedraw(true);
  UpdateStatus();
}

void CWinampMLDlg::SortByColumn(int column) {
  if (column >= 0) {
    sortColumn_ = column;
    sortDirection_ = -sortDirection_;
  }
  ListView& list = Ctl<ListView>(kList);
  std::vector<std::string> names;
  for (const ColumnDef& c : kColumns) names.push_back(c.title);
  std::string columnName = sortColumn_ >= 0 && sortColumn_ < kColumnCount ? names[sortColumn_] : "";
  list.SortItems([&](int a, int b) {
    std::string ta = CellText(a, sortColumn_), tb = CellText(b, sortColumn_);
    if (auto pinned = ComparePinnedRows(ta, tb)) return *pinned;
    SortRow ra{ta, CellText(a, 0), 0, 0}, rb{tb, CellText(b, 0), 0, 0};
    return CompareSortRows(ra, rb, columnName, sortDirection_);
  });
}

void CWinampMLDlg::UpdateStatus() {
  ListView& list = Ctl<ListView>(kList);
  std::vector<int> rows = list.SelectedRows();
  bool selection = !rows.empty();
  if (!selection)
    for (int i = 0; i < list.ItemCount(); ++i) rows.push_back(i);
  uint64_t bytes = 0, seconds = 0;
  for (int row : rows) {
    const Row* r = RowAt(row);
    if (!r) continue;
    PidlItem item = PidlItem::LastOf(r->ids.get());
    if (IsNotTrack(item.Kind())) continue;
    _AUDIODATA t = item.Track();
    bytes += t.size;
    seconds += t.length;
  }
  Ctl<Control>(kStatus).SetText(WinampStatusText(static_cast<int>(rows.size()), bytes, seconds, selection));
}

void CWinampMLDlg::PlayItems(bool all, bool enqueue) {
  ListView& list = Ctl<ListView>(kList);
  std::vector<int> rows;
  if (all) {
    for (int i = 0; i < list.ItemCount(); ++i) rows.push_back(i);
  } else {
    rows = list.SelectedRows();
    if (rows.empty()) return;
  }
  bool single = !all && rows.size() == 1;
  uint32_t port = ManagerWebPort();
  // The texts the records point at live until the host has taken the list.
  std::vector<_AUDIODATA> tracks;
  std::vector<std::string> urls;
  tracks.reserve(rows.size());
  urls.reserve(rows.size());
  std::vector<ml::MlTrackRecord> records;
  for (int row : rows) {
    const Row* r = RowAt(row);
    if (!r) break;
    PidlItem item = PidlItem::LastOf(r->ids.get());
    if (!IsTrackKind(item.Kind())) continue;  // folders and message rows have no stream
    _AUDIODATA t = item.Track();
    if (t.locked) {
      if (single) ShowMessage("This track is locked and cannot be played on your computer.", kMbIconInformation);
      continue;
    }
    KernelId id = item.Id();
    // The URL name's pattern, unescaped: the address escapes it once.
    urls.push_back(
        WinampStreamUrl(port, id.RecordId(), FormatTrackName(TheClient(), id, kTrackUrlFormatSetting, kDefaultFileNamePattern)));
    tracks.push_back(t);
  }
  for (size_t i = 0; i < tracks.size(); ++i) {
    const _AUDIODATA& t = tracks[i];
    records.push_back({urls[i].c_str(), t.title.text, t.album.text, t.artist.text, nullptr, t.genre.text,
                       static_cast<int32_t>(t.year), static_cast<int32_t>(t.trackNumber),
                       static_cast<int32_t>(t.length), nullptr});
  }
  if (records.empty()) return;
  records.reserve((records.size() / kTrackListGrowth + 1) * kTrackListGrowth);
  ml::MlTrackList trackList{records.data(), static_cast<int32_t>(records.size()), static_cast<int32_t>(records.capacity())};
  ml::MlSendRequest send{ml::kMlSendTrackList, &trackList, enqueue ? 1 : 0};
  SendToLibrary(reinterpret_cast<uint64_t>(&send), ml::kMlIpcSendToWinamp);
}

void CWinampMLDlg::Activate() {
  ListView& list = Ctl<ListView>(kList);
  int first = list.FirstSelected();
  if (first < 0) return;
  const Row* r = RowAt(first);
  if (!r) return;
  PidlItem item = PidlItem::LastOf(r->ids.get());
  if (item.Kind() == 0x2009 || item.Kind() == 0x2010) {
    OpenWithShell(item.Text());
    return;
  }
  PlayItems(false, false);
}

void CWinampMLDlg::ContextMenu() {
  Menu menu;
  menu.AppendItem(kPlay, "Play in Winamp");
  menu.AppendItem(kEnqueue, "Enqueue in Winamp");
  uint32_t chosen = TrackPopupMenu(menu, kTpmReturnCmd | kTpmRightButton, Handle());
  if (chosen) OnCommand(static_cast<int>(chosen));
}

bool CWinampMLDlg::OnCommand(int id) {
  PluginState& s = State();
  if (s.dialogMessage && s.dialogMessage(Handle(), kWmCommand, static_cast<uint64_t>(id), 0)) return true;
  switch (id) {
    case kPlay: Guarded("The tracks could not be sent to Winamp.", [&] { PlayItems(false, false); }); return true;
    case kPlayAll: Guarded("The tracks could not be sent to Winamp.", [&] { PlayItems(true, false); }); return true;
    case kEnqueue: Guarded("The tracks could not be sent to Winamp.", [&] { PlayItems(false, true); }); return true;
    case kEnqueueAll: Guarded("The tracks could not be sent to Winamp.", [&] { PlayItems(true, true); }); return true;
    case kHelp: OpenWithShell(SettingString("URL_Help", "")); return true;
    default: return Dialog::OnCommand(id);
  }
}

int64_t CWinampMLDlg::OnNotify(Control& from, int code, int64_t param) {
  PluginState& s = State();
  if (s.dialogMessage && s.dialogMessage(Handle(), kWmNotify, static_cast<uint64_t>(from.Id()), code)) return 0;
  if (from.Id() != kList) return 0;
  int64_t result = 0;
  Guarded("The player's tracks could not be shown.", [&] {
    switch (code) {
      case kLvnGetDispInfo: {
        auto* info = reinterpret_cast<ListDispInfo*>(param);
        if (info->mask & kLvifText) {
          std::string text = Utf8Cut(CellText(info->row, info->subItem), info->capacity - 1);
          std::snprintf(info->text, info->capacity, "%s", text.c_str());
        }
        if (info->mask & kLvifImage) {
          const Row* r = RowAt(info->row);
          platform::ComPtr<platform::IExtractIconA> icon;
          LPCITEMIDLIST one = r ? r->ids.get() : nullptr;
          if (one && folder_ &&
              folder_->GetUIObjectOf(Handle(), 1, &one, platform::IID_IExtractIconA, nullptr, icon.Out()) ==
                  platform::S_OK &&
              icon) {
            char file[260] = {};
            int32_t index = -1;
            uint32_t flags = 0;
            if (icon->GetIconLocation(0, file, sizeof file, &index, &flags) == platform::S_OK) info->image = index;
          }
        }
        info->mask |= kLvifDiSetItem;
        break;
      }
      case kNmClick: UpdateStatus(); break;
      case kNmDblClk:
      case kNmReturn: Activate(); break;
      case kNmRClick: ContextMenu(); break;
      case kHdnItemClick: SortByColumn(reinterpret_cast<ListItemNotice*>(param)->column); break;
      default: break;
    }
  });
  return result;
}

void CWinampMLDlg::OnDestroy() {
  if (Get<ListView>(kList)) Ctl<ListView>(kList).DeleteAllItems();
  rows_.clear();
  SendToLibrary(static_cast<uint64_t>(State().skin), ml::kMlIpcUnskinList);
}

}  // namespace hub
