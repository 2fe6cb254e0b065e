// The loop command: lists of the player's contents, skins and searches, each
// taken whole before the first pass, so a nested loop cannot move the
// device's walk cursor under an outer one.
#include <algorithm>
#include <exception>
#include <mutex>
#include <numeric>

#include "common/device_track_name.h"
#include "common/kernel_device.h"
#include "common/query_engine.h"
#include "common/records.h"
#include "common/settings.h"
#include "common/sortable_id_array.h"
#include "common/text.h"
#include "common/track_compare.h"
#include "common/track_name.h"
#include "webserver/http_response.h"
#include "webserver/skins.h"
#include "webserver/stream_source.h"
#include "webserver/template_nodes.h"
#include "webserver/template_text.h"

namespace hub {
namespace {

std::mutex& SearchMutex() {
  static std::mutex m;
  return m;
}

std::vector<KernelId>& SearchResultsStore() {
  static std::vector<KernelId> ids;
  return ids;
}

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

KernelId IdFromText(std::string_view text, bool& valid) {
  uint64_t id = 0;
  valid = ParseItemId(text, id);
  return KernelId::FromRecordId(id);
}

// The last element of a stream or download address for a name from tags.
std::string AddressName(std::string_view name) {
  std::string clean;
  for (char c : name) {
    if (c != '#' && c != '/' && c != '\\') clean.push_back(c);
  }
  return PercentEncodePathSegment(Utf8Cut(clean, 255));
}

// One row of a track listing: what the brief variables show, made from a
// single fetch of the track's record. A fetch that failed is kept and thrown
// when its row is reached, so the page ends there as it would have.
struct TrackRow {
  size_t index = 0;  // into the listing's ids
  std::string display;  // HTML-escaped
  std::string url;      // the stream address
  uint32_t length = 0;
  bool locked = false;
  std::exception_ptr failure;
};

// Track names for one loop: the name patterns and the device's tag support
// are read once, and each track's record once, however long the list.
class TrackNamer {
 public:
  explicit TrackNamer(KernelDevice& device)
      : device_(device),
        tags_(device.SupportsTagSearch() != 0),
        display_(Pattern(kTrackDisplayFormatSetting, kDefaultDisplayPattern)),
        url_(Pattern(kTrackUrlFormatSetting, kDefaultFileNamePattern)) {}

  // Fetches the record into `record` (initialised first: a device may leave
  // it untouched for an id it does not know) and fills `row` from it.
  void Fetch(const KernelId& id, _AUDIODATA& record, TrackRow& row) {
    record.Init();
    device_.GetTrackInfo(id, record);
    Fill(id, record, row);
  }

  void Fill(const KernelId& id, const _AUDIODATA& record, TrackRow& row) {
    std::string display = tags_ ? ApplyTrackPattern(record, display_) : device_.GetTrackItemName(id);
    std::string idText = id.IdText();
    row.url = "/stream/" + idText + "/" + AddressName(tags_ ? ApplyTrackPattern(record, url_) : display);
    row.display = HtmlEscape(display);
    row.length = record.length;
    row.locked = record.locked != 0;
  }

 private:
  static std::string Pattern(std::string_view setting, std::string_view fallback) {
    std::string pattern = SettingString(setting, fallback);
    return pattern.empty() ? std::string(fallback) : pattern;
  }
  KernelDevice& device_;
  bool tags_;
  std::string display_;
  std::string url_;
};

// The brief variables of a track row. The map's entries are found once per
// loop: a run only adds variables, so the slots stay valid.
class BriefSlots {
 public:
  explicit BriefSlots(VariableMap& v) : v_(v) {}
  void Set(const KernelId& id, const TrackRow& row) {
    if (row.failure) std::rethrow_exception(row.failure);
    if (!id_) {
      id_ = &v_["id"];
      display_ = &v_["displayname"];
      url_ = &v_["stream_url"];
      length_ = &v_["length_secs"];
    }
    *id_ = id.IdText();
    *display_ = row.display;
    *url_ = row.url;
    *length_ = std::to_string(row.length);
  }

 private:
  VariableMap& v_;
  std::string* id_ = nullptr;
  std::string* display_ = nullptr;
  std::string* url_ = nullptr;
  std::string* length_ = nullptr;
};

// Rows of `ids` in the default track order (locked tracks left out when
// `dropLocked`), each record fetched once for both the order and the row. A
// record that cannot be fetched sorts as an empty one.
std::vector<TrackRow> SortedTrackRows(KernelDevice& device, const std::vector<KernelId>& ids, bool dropLocked) {
  TrackNamer namer(device);
  std::vector<TrackRow> rows(ids.size());
  std::vector<TrackSortKey> keys;
  keys.reserve(ids.size());
  _AUDIODATA record;
  for (size_t i = 0; i < ids.size(); ++i) {
    rows[i].index = i;
    try {
      namer.Fetch(ids[i], record, rows[i]);
    } catch (const std::exception&) {
      rows[i].failure = std::current_exception();
      record.Init();
    }
    keys.push_back(TrackSortKey::Of(record));
  }
  std::vector<size_t> order(ids.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return CompareTrackKeys(keys[a], keys[b], {}) < 0; });
  std::vector<TrackRow> sorted;
  sorted.reserve(order.size());
  for (size_t i : order) {
    if (!dropLocked || keys[i].locked == 0) sorted.push_back(std::move(rows[i]));
  }
  return sorted;
}

std::vector<KernelId> WalkAllTracks(KernelDevice& device) {
  std::vector<KernelId> ids;
  KernelId id;
  for (int more = device.GetFirstTrack(id); more != 0; more = device.GetNextTrack(id)) ids.push_back(id);
  return ids;
}

std::vector<KernelId> WalkFoundTracks(KernelDevice& device, std::string_view artist, std::string_view album,
                                      std::string_view genre) {
  std::vector<KernelId> ids;
  KernelId id;
  for (int more = device.FindTracks(id, artist, album, genre); more != 0; more = device.FindNextTrack(id)) {
    ids.push_back(id);
  }
  return ids;
}

void SetFullTrack(VariableMap& v, KernelDevice& device, const KernelId& id) {
  _AUDIODATA record;
  TrackRow row;
  TrackNamer(device).Fetch(id, record, row);
  BriefSlots(v).Set(id, row);
  v["codec"] = AsciiUpper(GetExtensionForFileType(record.fileType));
  v["title"] = HtmlEscape(record.title.Get());
  v["album"] = HtmlEscape(record.album.Get());
  v["artist"] = HtmlEscape(record.artist.Get());
  v["genre"] = HtmlEscape(record.genre.Get());
  v["comment"] = HtmlEscape(record.comment.Get());
  v["length_secs"] = std::to_string(record.length);
  char text[64];
  std::snprintf(text, sizeof text, "%u:%02u", record.length / 60, record.length % 60);
  v["length_ms"] = text;
  std::snprintf(text, sizeof text, "%02u", record.trackNumber);
  v["tracknum"] = text;
  v["year"] = std::to_string(record.year);
  v["filesize"] = Printf("%.2f MB", record.size / 1048576.0);
}

void SetDataItem(VariableMap& v, KernelDevice& device, StreamSource* streams, const KernelId& id) {
  std::string name = device.GetDataItemName(id);
  v["id"] = id.IdText();
  v["filename"] = HtmlEscape(name);
  v["dl_url"] = "/data/" + id.IdText() + "/" + AddressName(name);
  size_t dot = name.rfind('.');
  v["ext"] = HtmlEscape(dot == std::string::npos ? "" : name.substr(dot));
  int64_t bytes = streams ? streams->DataItemSize(id.RecordId()) : -1;
  if (bytes < 0) bytes = int64_t{device.GetDataItemSizeKB(id)} * 1024;
  v["filesize"] = Printf("%.2f MB", static_cast<double>(bytes) / 1048576.0);
}

using NameWalk = int (KernelDevice::*)(KernelTextField&);

std::vector<std::string> Names(KernelDevice& device, int first, NameWalk next, KernelTextField& field) {
  std::vector<std::string> out;
  for (int more = first; more != 0; more = (device.*next)(field)) out.emplace_back(field.Get());
  return out;
}

struct NamedCount {
  std::string name;
  int count = 0;
};

// The search: a condition from the form's terms, run through the SQL engine.
// Its rows, in the default track order, index into the ids it answers.
std::vector<KernelId> RunSearch(KernelDevice& device, VariableMap& v, std::vector<std::string> args,
                                std::vector<TrackRow>& rows) {
  for (auto& a : args) a = TrimBlanks(a);
  const std::string& type = args[1];
  if (type.empty()) return {};
  std::string condition;
  if (type == "simple") {
    static constexpr const char* kFields[] = {"artist?'", "album?'", "title?'", "genre?'"};
    for (int i = 0; i < 4; ++i) {
      if (!args[2 + i].empty()) condition += std::string(kFields[i]) + args[2 + i] + "' AND ";
    }
    condition += "1=1";
  } else if (type == "advanced") {
    condition = ReplaceAll(args[2], "+", " ");
    if (condition.empty()) return {};
    v["last_sqlquery"] = HtmlEscape(condition);
  } else if (type == "quick") {
    const std::string& t = args[2];
    condition = "artist?'" + t + "' OR album?'" + t + "' OR genre?'" + t + "' OR title?'" + t + "'";
  } else {
    v["search_error"] = HtmlEscape("Invalid search type: " + type);
    return {};
  }
  std::string statement = "SELECT id FROM audio WHERE " + condition + ";";
  SetLastSearchResults({});
  std::vector<KernelId> ids;
  QueryEngine* engine = GetQueryEngine();
  try {
    std::optional<std::vector<std::string>> found;
    if (engine) found = engine->RunSelectIds(device, statement);
    if (!found) {
      v["search_error"] = "Only SELECT statements are supported.";
      return {};
    }
    for (const std::string& id : *found) {
      uint64_t value = 0;
      if (ParseItemId(id, value)) ids.push_back(KernelId::FromRecordId(value));
    }
  } catch (const std::exception& e) {
    std::optional<std::string> sqlError = engine->DescribeFailure(e);
    v["search_error"] = HtmlEscape(sqlError ? "SQL Error: " + *sqlError : "Invalid Query: '" + statement + "'");
    return {};
  }
  if (ids.empty()) v["search_error"] = "No search results found.";
  rows = SortedTrackRows(device, ids, false);
  std::vector<KernelId> sorted;
  sorted.reserve(rows.size());
  for (const TrackRow& row : rows) sorted.push_back(ids[row.index]);
  SetLastSearchResults(std::move(sorted));
  WriteSettingString("SQL_LastSearchQuery", statement);
  return ids;
}

}  // namespace

std::vector<KernelId> LastSearchResults() {
  std::lock_guard lock(SearchMutex());
  return SearchResultsStore();
}

void SetLastSearchResults(std::vector<KernelId> ids) {
  std::lock_guard lock(SearchMutex());
  SearchResultsStore() = std::move(ids);
}

void SortTracks(KernelDevice& device, std::vector<KernelId>& ids) {
  SortableKernelIdArray sorted(&device);
  sorted.assign(ids.begin(), ids.end());
  sorted.Sort(-1);
  ids.assign(sorted.begin(), sorted.end());
}

std::vector<KernelId> AllUnlockedTracks(KernelDevice& device) {
  SortableKernelIdArray all(&device);
  KernelId id;
  for (int more = device.GetFirstTrack(id); more != 0; more = device.GetNextTrack(id)) all.push_back(id);
  all.SortUnlocked(-1);
  return std::move(static_cast<std::vector<KernelId>&>(all));
}

std::vector<KernelId> FoundTracks(KernelDevice& device, std::string_view artist, std::string_view album,
                                  std::string_view genre, bool skipLocked) {
  SortableKernelIdArray all(&device);
  KernelId id;
  for (int more = device.FindTracks(id, artist, album, genre); more != 0; more = device.FindNextTrack(id)) {
    all.push_back(id);
  }
  if (skipLocked) {
    all.SortUnlocked(-1);
  } else {
    all.Sort(-1);
  }
  return std::move(static_cast<std::vector<KernelId>&>(all));
}

std::string FromUrl(const VariableMap& variables, std::string_view name) {
  auto it = variables.find(name);
  return it == variables.end() ? std::string() : HtmlUnescape(it->second);
}

void ExpLoop::Execute(TemplateOutput& output, VariableMap& v, KernelDevice& device) {
  std::vector<std::string> args = arguments_;
  if (args[0] == "from_url") args[0] = FromUrl(v, "ltype");
  for (int i = 1; i <= 5; ++i) {
    if (args[i] == "from_url") args[i] = FromUrl(v, "larg" + std::to_string(i));
  }
  const std::string& type = args[0];
  auto runBody = [&] { RunExpList(body, output, v, device); };
  // Sorted listings: each record fetched once for the order and the row.
  auto sortedTracks = [&](const std::vector<KernelId>& ids, const std::vector<TrackRow>& rows) {
    BriefSlots slots(v);
    for (const TrackRow& row : rows) {
      slots.Set(ids[row.index], row);
      runBody();
    }
  };
  auto sortedUnlocked = [&](const std::vector<KernelId>& ids) { sortedTracks(ids, SortedTrackRows(device, ids, true)); };
  StreamSource* streams = File()->Environment().streams;

  if (type == "SEARCH" || type == "SEARCHRESULTS" || type == "SKINS") File()->Environment().keepable = false;
  if (type.empty()) return;
  if (type == "AUDIOSINGLE") {
    bool valid = false;
    KernelId id = IdFromText(TrimBlanks(args[1]), valid);
    if (!valid) return;
    SetFullTrack(v, device, id);
    runBody();
  } else if (type == "DATASINGLE") {
    bool valid = false;
    KernelId id = IdFromText(TrimBlanks(args[1]), valid);
    if (!valid) return;
    SetDataItem(v, device, streams, id);
    runBody();
  } else if (type == "DATAFOLDERS" || type == "DATAFILES") {
    KernelId folder;
    if (args[1].empty()) {
      device.GetDataRoot(folder);
    } else {
      bool valid = false;
      folder = IdFromText(TrimBlanks(args[1]), valid);
      if (!valid) return;
    }
    bool folders = type == "DATAFOLDERS";
    std::vector<KernelId> items;
    KernelId child;
    for (int more = device.GetFirstDataChild(folder, child); more != 0; more = device.GetNextDataChild(folder, child)) {
      items.push_back(child);
    }
    for (const auto& item : items) {
      if ((device.IsDataFolder(item) != 0) != folders) continue;
      SetDataItem(v, device, streams, item);
      runBody();
    }
  } else if (type == "SEARCHRESULTS") {
    TrackNamer namer(device);
    BriefSlots slots(v);
    _AUDIODATA record;
    TrackRow row;
    for (const auto& id : LastSearchResults()) {
      namer.Fetch(id, record, row);
      slots.Set(id, row);
      runBody();
    }
  } else if (type == "AUDIOALL") {
    sortedUnlocked(WalkAllTracks(device));
  } else if (type == "AUDIOBYARTIST") {
    sortedUnlocked(WalkFoundTracks(device, args[1], "", ""));
  } else if (type == "AUDIOBYALBUM") {
    sortedUnlocked(WalkFoundTracks(device, args[2], args[1], ""));
  } else if (type == "AUDIOBYGENRE") {
    sortedUnlocked(WalkFoundTracks(device, "", "", args[1]));
  } else if (type == "PLAYLISTS") {
    std::vector<KernelId> lists;
    KernelId pl;
    for (int more = device.GetFirstPlaylist(pl); more != 0; more = device.GetNextPlaylist(pl)) lists.push_back(pl);
    struct Row {
      std::string name, id;
      int count;
    };
    std::vector<Row> rows;
    for (const auto& p : lists) {
      // Counted by walking: devices differ in what the first call answers.
      KernelId item;
      int count = 0;
      for (int more = device.GetFirstPlaylistItem(p, item); more != 0; more = device.GetNextPlaylistItem(p, item)) {
        ++count;
      }
      rows.push_back({HtmlEscape(device.GetPlaylistName(p)), p.IdText(), count});
    }
    for (const auto& r : rows) {
      v["name"] = r.name;
      v["count"] = std::to_string(r.count);
      v["id"] = r.id;
      runBody();
    }
  } else if (type == "ARTISTS" || type == "ALBUMS" || type == "GENRES") {
    KernelTextField field;
    std::vector<std::string> names;
    if (type == "ARTISTS") {
      names = Names(device, device.GetFirstArtist(field), &KernelDevice::GetNextArtist, field);
    } else if (type == "ALBUMS") {
      names = Names(device, device.GetFirstAlbum(field, args[1]), &KernelDevice::GetNextAlbum, field);
    } else {
      names = Names(device, device.GetFirstGenre(field), &KernelDevice::GetNextGenre, field);
    }
    std::vector<NamedCount> rows;
    for (const auto& n : names) {
      KernelId first;
      int count = type == "ARTISTS"  ? device.FindTracks(first, n, "", "")
                  : type == "ALBUMS" ? device.FindTracks(first, "", n, "")
                                     : device.FindTracks(first, "", "", n);
      rows.push_back({n, count});
    }
    for (const auto& r : rows) {
      v["name"] = HtmlEscape(r.name);
      v["count"] = std::to_string(r.count);
      runBody();
    }
  } else if (type == "QUEUE") {
    std::vector<KernelId> items;
    KernelId item;
    for (int more = device.GetFirstQueueItem(item); more != 0; more = device.GetNextQueueItem(item)) {
      items.push_back(item);
    }
    int position = device.GetQueuePosition();
    TrackNamer namer(device);
    BriefSlots slots(v);
    _AUDIODATA record;
    TrackRow row;
    for (size_t i = 0; i < items.size(); ++i) {
      int index = static_cast<int>(i);
      v["aqnum"] = std::to_string(index + 1);
      bool before = index < position, current = index == position;
      v["status"] = before ? "Already Played" : current ? "Current" : "Not Yet Played";
      v["statuscode"] = before ? "q_alreadyplayed" : current ? "q_current" : "q_notyetplayed";
      namer.Fetch(items[i], record, row);
      slots.Set(items[i], row);
      runBody();
    }
  } else if (type == "PLAYLIST") {
    bool valid = false;
    KernelId pl = IdFromText(TrimBlanks(args[1]), valid);
    if (!valid) return;
    std::vector<KernelId> items;
    KernelId item;
    for (int more = device.GetFirstPlaylistItem(pl, item); more != 0; more = device.GetNextPlaylistItem(pl, item)) {
      items.push_back(item);
    }
    TrackNamer namer(device);
    BriefSlots slots(v);
    _AUDIODATA record;
    TrackRow row;
    for (size_t i = 0; i < items.size(); ++i) {
      namer.Fetch(items[i], record, row);
      if (row.locked) continue;
      v["plnum"] = std::to_string(i + 1);
      slots.Set(items[i], row);
      runBody();
    }
  } else if (type == "SKINS") {
    std::string selected = SelectedSkinName();
    for (const auto& name : ListSkins(SkinsFolder())) {
      v["name"] = HtmlEscape(name);
      v["selected"] = name == selected ? "selected" : "";
      runBody();
    }
  } else if (type == "SEARCH") {
    std::vector<TrackRow> rows;
    std::vector<KernelId> ids = RunSearch(device, v, args, rows);
    sortedTracks(ids, rows);
  } else {
    output.Write("Unknown loop type: '" + HtmlEscape(type) + "'.");
  }
}

}  // namespace hub
