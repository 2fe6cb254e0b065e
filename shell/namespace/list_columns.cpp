// Column sets as data, and the manager that lays them out and keeps them.
#include "shell/namespace/list_columns.h"

#include <algorithm>
#include <numeric>

#include "common/product_profile.h"
#include "common/text.h"
#include "platform/shell/item_id_list.h"
#include "shell/namespace/shell_ext_routines.h"
#include "shell/namespace/the_client.h"

namespace hub {
namespace {

namespace ui = platform::ui;
constexpr bool R = true;
constexpr bool L = false;

// A set whose display order is the id order, or with `numberFirst` the "#"
// column (id 1) shown first.
ColumnSet MakeSet(std::string_view name, std::vector<ColumnSpec> columns, bool numberFirst = false) {
  for (size_t i = 0; i < columns.size(); ++i) columns[i].order = static_cast<uint16_t>(i);
  if (numberFirst && columns.size() > 1) {
    columns[0].order = 1;
    columns[1].order = 0;
  }
  return ColumnSet{name, std::move(columns), false};
}

// The audio name table: name, width, alignment, then the state in "Base",
// "P4", "P7" and "M2" (9: not in that set).
struct AudioColumn {
  std::string_view name;
  uint16_t width;
  bool right;
  int8_t state[4];
};
constexpr int8_t X = 9;
constexpr AudioColumn kAudioColumns[] = {
    {"Name", 400, L, {1, 1, 1, 1}},          {"Artist", 125, L, {0, 0, 0, 0}},
    {"Album", 125, L, {0, 0, 0, 0}},         {"#", 25, R, {0, 0, 0, 0}},
    {"Title", 175, L, {0, 0, 0, 0}},         {"Type", 40, L, {1, 1, 1, 1}},
    {"Size", 70, R, {1, 1, 1, 1}},           {"Length", 50, R, {1, 1, 1, 1}},
    {"Bitrate", 60, R, {1, 1, 1, 1}},        {"Samplerate", 70, R, {-1, 0, 0, 0}},
    {"Year", 40, R, {1, 1, 1, 1}},           {"Genre", 75, L, {1, 1, 1, 1}},
    {"Composer", 100, L, {-1, 1, 1, 0}},     {"BPM", 35, R, {-1, 1, 1, 0}},
    {"Rating", 50, R, {-1, 1, 1, 1}},        {"Play Count", 70, R, {-1, 1, -1, -1}},
    {"Last Played", 125, R, {-1, 1, -1, -1}}, {"Comment", 200, L, {1, 1, 1, 1}},
    {"Added", 125, R, {-1, 1, -1, -1}},      {"Modified", 125, R, {-1, 1, -1, -1}},
    {"In Playlists", 65, R, {X, X, -1, -1}}, {"id", 75, R, {X, X, -1, -1}},
    {"File Path", 500, L, {X, X, 1, 1}},
};

ColumnSet MakeAudioSet(std::string_view name, int profile) {
  ColumnSet set{name, {}, true};
  for (const AudioColumn& c : kAudioColumns) {
    if (c.state[profile] == X) break;
    set.columns.push_back(ColumnSpec{c.name, c.width, static_cast<uint16_t>(set.columns.size()), c.right, c.state[profile]});
  }
  // Size is shown before Type.
  std::swap(set.columns[5].order, set.columns[6].order);
  return set;
}

struct Sets {
  ColumnSet root = MakeSet("device level", {{"Name", 175}, {"Count", 60, 0, R}, {"Used Space", 75, 0, R},
                                            {"Free Space", 75, 0, R}, {"Total Space", 75, 0, R}});
  ColumnSet segmentNx = MakeSet("memory segment (tags, device 8)",
                                {{"Full Name (based on tags)", 350}, {"#", 30, 0, R}, {"Size", 80, 0, R},
                                 {"Length", 60, 0, R}, {"Bitrate", 70, 0, R}, {"Name as displayed on MuVo NX", 250}},
                                true);
  ColumnSet segmentTags = MakeSet("memory segment (tags)", {{"Name", 360}, {"#", 30, 0, R}, {"Size", 80, 0, R},
                                                            {"Length", 60, 0, R}, {"Bitrate", 70, 0, R}},
                                  true);
  ColumnSet segment = MakeSet("memory segment", {{"Name", 360}, {"#", 30, 0, R}, {"Size", 80, 0, R}}, true);
  ColumnSet fm = MakeSet("FM radio", {{"Frequency", 100}, {"#", 30, 0, R}}, true);
  ColumnSet queue = MakeSet("Active Queue", {{"Name", 360}, {"#", 40, 0, R}, {"Status", 100, 0, R}, {"Length", 60, 0, R}},
                            true);
  ColumnSet playlistIndex = MakeSet("playlist index", {{"Name", 450}, {"Count", 80, 0, R}, {"Playlists", 500}});
  ColumnSet category = MakeSet("category", {{"Name", 200}, {"Contains", 60, 0, R}});
  ColumnSet playlist = MakeSet("playlist", {{"Name", 500}, {"#", 40, 0, R}, {"Type", 40}, {"Size", 70, 0, R},
                                            {"Length", 60, 0, R}, {"Bitrate", 60, 0, R}, {"Genre", 100},
                                            {"Year", 40, 0, R}, {"Comment", 200}},
                               true);
  ColumnSet deviceInfo = MakeSet("device information", {{"Device Property", 200}, {"Value", 250}});
  ColumnSet data = MakeSet("data folder", {{"Name", 200}, {"Size", 80, 0, R}, {"Type", 150}, {"Modified", 130},
                                           {"Attributes", 80}});
  ColumnSet notes = MakeSet("notes and contacts", {{"Name", 300}, {"Contains", 150}});
  ColumnSet utilities = MakeSet("utilities", {{"Utility", 175}, {"Description", 450}});
  ColumnSet contact = MakeSet("contact", {{"Field", 150}, {"Value", 400}});
  ColumnSet other = MakeSet("other", {{"Name", 360}});
  ColumnSet audioBase = MakeAudioSet("Base", 0);
  ColumnSet audioP4 = MakeAudioSet("P4", 1);
  ColumnSet audioP7 = MakeAudioSet("P7", 2);
  ColumnSet audioM2 = MakeAudioSet("M2", 3);
};

const Sets& TheSets() {
  static const Sets sets;
  return sets;
}

const ColumnSet& AudioSet(const ColumnSetQuery& q) {
  const Sets& s = TheSets();
  if (q.product == 4) return s.audioP4;
  if (q.product == 7 || q.product == 8 || q.product == 9) return s.audioP7;
  return AsciiLower(q.familyCode) == "m2" ? s.audioM2 : s.audioBase;
}

bool NeedsAudioSet(uint32_t kind, uint32_t key) {
  return kind == FolderTrackList && key != kTrackListQueue && key != kTrackListPlaylistIndex;
}

std::array<uint8_t, 2 * kMaxListColumns> ToBytes(const std::array<uint16_t, kMaxListColumns>& values) {
  std::array<uint8_t, 2 * kMaxListColumns> bytes{};
  for (int i = 0; i < kMaxListColumns; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(values[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(values[i] >> 8);
  }
  return bytes;
}

// A stored array counts only when it is exactly the size it was written at.
bool ReadArray(const std::string& name, std::array<uint16_t, kMaxListColumns>& out) {
  std::array<uint8_t, 2 * kMaxListColumns> bytes{};
  uint32_t size = bytes.size();
  if (!ReadRegBinary(name, bytes.data(), size) || size != bytes.size()) return false;
  for (int i = 0; i < kMaxListColumns; ++i) out[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return true;
}

}  // namespace

const ColumnSet& ChooseColumnSet(const ColumnSetQuery& q) {
  const Sets& s = TheSets();
  switch (q.folderKind) {
    case 0:
    case FolderSpare: return s.root;
    case FolderSegment:
      if (!q.segmentOp3170) return s.segment;
      return q.deviceNumber == 8 ? s.segmentNx : s.segmentTags;
    case FolderFmTuner: return s.fm;
    case FolderTrackList:
      if (q.folderKey == kTrackListQueue) return s.queue;
      if (q.folderKey == kTrackListPlaylistIndex) return s.playlistIndex;
      return AudioSet(q);
    case FolderCategory: return s.category;
    case FolderPlaylist: return q.deviceNumber == 8 ? s.segmentNx : s.playlist;
    case FolderDeviceInfo: return s.deviceInfo;
    case FolderData: return s.data;
    case FolderNotes:
    case FolderContacts: return s.notes;
    case FolderUtilities: return s.utilities;
    case ItemContact: return s.contact;
    default: return s.other;
  }
}

ColumnSetQuery ColumnSetQueryFor(LPCITEMIDLIST folder) {
  ColumnSetQuery q;
  q.product = TheProductProfile().productNumber;
  q.deviceNumber = ClientDeviceNumber();
  if (folder && platform::IdListBytes(folder) && platform::ReadLittleEndian16(platform::IdListBytes(folder)) != 0) {
    PidlItem item = PidlItem::LastOf(folder);
    q.folderKind = item.Kind();
    q.folderKey = item.SubKind();
  }
  // The device is asked only for what this folder's set depends on.
  try {
    if (q.folderKind == FolderSegment) q.segmentOp3170 = TheClient().SegmentOp3170() != 0;
    if (NeedsAudioSet(q.folderKind, q.folderKey) && q.product != 4 && q.product != 7 && q.product != 8 && q.product != 9)
      q.familyCode = TheClient().GetFamilyCode(ClientOwnId());
  } catch (const std::exception&) {
    // A device that cannot say gets the plain set.
  }
  return q;
}

// --- ListColumnManager

ListColumnManager::ListColumnManager(LPCITEMIDLIST folder, ui::ListView& list) : list_(list) {
  Init(ColumnSetQueryFor(folder));
}

ListColumnManager::ListColumnManager(const ColumnSetQuery& query, ui::ListView& list) : list_(list) { Init(query); }

void ListColumnManager::Init(const ColumnSetQuery& query) {
  set_ = &ChooseColumnSet(query);
  uint32_t style = list_.ExStyle();
  list_.SetExStyle(set_->audio ? style | ui::kLvsExHeaderDragDrop : style & ~ui::kLvsExHeaderDragDrop);
  key_ = "Vc_" + std::to_string(query.folderKind) + std::to_string(query.folderKey);
  LoadDefaults();
  LoadStored();
  BuildColumns();
}

void ListColumnManager::LoadDefaults() {
  shown_.fill(0);
  widths_.fill(0);
  order_.fill(0);
  for (int i = 0; i < set_->Count(); ++i) {
    const ColumnSpec& c = set_->columns[i];
    shown_[i] = (c.state == kColumnNoState || c.state == kColumnShown) ? 1 : 0;
    widths_[i] = c.width;
    order_[i] = c.order;
  }
}

void ListColumnManager::LoadStored() {
  std::array<uint16_t, kMaxListColumns> shown{}, widths{}, order{};
  if (ReadArray(key_ + "S", shown)) {
    // Only ids the set has; the name column always shows.
    for (int i = 0; i < kMaxListColumns; ++i) shown_[i] = i < set_->Count() && shown[i] ? 1 : 0;
    shown_[0] = 1;
  }
  if (ReadArray(key_ + "W", widths))
    for (int i = 0; i < set_->Count(); ++i) widths_[i] = widths[i] ? widths[i] : set_->columns[i].width;
  // Any stored positions do: the shown ids are laid out by them, ties by id.
  if (ReadArray(key_ + "O", order))
    for (int i = 0; i < set_->Count(); ++i) order_[i] = order[i];
}

void ListColumnManager::BuildColumns() {
  for (int c = list_.ColumnCount() - 1; c >= 0; --c) list_.DeleteColumn(c);
  map_.clear();
  for (int id = 0; id < set_->Count(); ++id) {
    if (!shown_[id]) continue;
    const ColumnSpec& spec = set_->columns[id];
    list_.InsertColumn(static_cast<int>(map_.size()), spec.name, widths_[id],
                       spec.right ? ui::kLvcfmtRight : ui::kLvcfmtLeft, id);
    map_.push_back(id);
  }
  std::vector<int> display(map_.size());
  std::iota(display.begin(), display.end(), 0);
  std::stable_sort(display.begin(), display.end(), [&](int a, int b) {
    return order_[map_[a]] != order_[map_[b]] ? order_[map_[a]] < order_[map_[b]] : map_[a] < map_[b];
  });
  list_.SetColumnOrder(display);
}

int ListColumnManager::ColumnOfSubItem(int subItem) const {
  // Columns are inserted with their id as sub-item.
  if (subItem < 0 || subItem >= kMaxListColumns || subItem >= set_->Count()) return 0;
  return subItem;
}

void ListColumnManager::ReadWidths() {
  for (int c = 0; c < static_cast<int>(map_.size()) && c < list_.ColumnCount(); ++c)
    widths_[map_[c]] = static_cast<uint16_t>(std::clamp(list_.ColumnWidth(c), 0, 0xFFFF));
}

void ListColumnManager::ReadOrder() {
  std::vector<int> display = list_.ColumnOrder();
  for (int p = 0; p < static_cast<int>(display.size()); ++p)
    if (display[p] >= 0 && display[p] < static_cast<int>(map_.size())) order_[map_[display[p]]] = static_cast<uint16_t>(p);
}

std::vector<int> ListColumnManager::DisplayOrder() const {
  std::vector<int> ids;
  for (int c : list_.ColumnOrder())
    if (c >= 0 && c < static_cast<int>(map_.size())) ids.push_back(map_[c]);
  return ids;
}

int ListColumnManager::ToggleColumn(int id) {
  if (id == 0) return 1;
  if (id < 0 || id >= set_->Count()) return 0;
  ReadWidths();
  ReadOrder();
  std::vector<int> ids = DisplayOrder();
  shown_[id] = shown_[id] ? 0 : 1;
  std::erase(ids, id);
  if (shown_[id]) {
    size_t at = std::min<size_t>(set_->columns[id].order, ids.size());
    ids.insert(ids.begin() + static_cast<std::ptrdiff_t>(at), id);
  }
  for (size_t p = 0; p < ids.size(); ++p) order_[ids[p]] = static_cast<uint16_t>(p);
  BuildColumns();
  return shown_[id];
}

void ListColumnManager::ResetColumns() {
  LoadDefaults();
  BuildColumns();
}

void ListColumnManager::AutoSizeColumns() {
  for (int c = 0; c < list_.ColumnCount(); ++c) list_.SetColumnWidth(c, ui::kLvscwAutoSize);
}

void ListColumnManager::SaveColumns() {
  if (!persist_) return;
  ReadWidths();
  ReadOrder();
  auto shown = ToBytes(shown_), widths = ToBytes(widths_), order = ToBytes(order_);
  WriteRegBinary(key_ + "S", shown.data(), shown.size());
  WriteRegBinary(key_ + "W", widths.data(), widths.size());
  WriteRegBinary(key_ + "O", order.data(), order.size());
}

void ListColumnManager::AppendHeaderMenu(ui::Menu& menu) const {
  menu.AppendSeparator();
  for (int id = 0; id < set_->Count(); ++id) {
    if (set_->columns[id].state == kColumnUnavailable) continue;
    uint32_t flags = (shown_[id] ? ui::kMfChecked : 0) | (id == 0 ? ui::kMfGrayed : 0);
    menu.AppendItem(kColumnCommandFirst + id, set_->columns[id].name, flags);
  }
}

std::string ListColumnManager::GetColumnName(int id) const {
  return id >= 0 && id < set_->Count() ? std::string(set_->columns[id].name) : std::string();
}

}  // namespace hub
