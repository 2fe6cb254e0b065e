// An in-memory player for the SQL engine's tests and benchmark: tracks, data
// files and playlists with the device's first/next walk semantics, counting
// record fetches so tests can see what a query asked of the device.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/records.h"
#include "sql/tables_jukebox.h"

namespace hub::test {

struct MemoryTrack {
  uint64_t id = 0;
  std::string artist, album, title, genre, composer, comment;
  uint32_t trackNumber = 0, year = 0, length = 0, bitrate = 0, size = 0, playCount = 0;
  uint8_t rating = 0, fileType = kFileTypeMp3;
  int locked = 0;
};

struct MemoryPlaylist {
  uint64_t id = 0;
  std::string name;
  std::vector<uint64_t> items;  // track ids
};

struct MemoryDataItem {
  uint64_t id = 0;
  std::string name;
  int sizeKB = 0;
};

class MemoryJukebox : public QueryDevice {
 public:
  std::vector<MemoryTrack> tracks;
  std::vector<MemoryPlaylist> playlists;
  std::vector<MemoryDataItem> data;
  int trackInfoCalls = 0;

  // Call after changing `tracks`: builds the records the device answers.
  void Index() {
    byId_.clear();
    records_.assign(tracks.size(), _AUDIODATA());
    for (size_t i = 0; i < tracks.size(); ++i) {
      byId_[tracks[i].id] = i;
      const MemoryTrack& t = tracks[i];
      _AUDIODATA& r = records_[i];
      r.artist.Set(t.artist);
      r.album.Set(t.album);
      r.title.Set(t.title);
      r.genre.Set(t.genre);
      r.composer.Set(t.composer);
      r.comment.Set(t.comment);
      r.trackNumber = t.trackNumber;
      r.year = t.year;
      r.length = t.length;
      r.bitrate = t.bitrate;
      r.size = t.size;
      r.playCount = t.playCount;
      r.rating = t.rating;
      r.fileType = t.fileType;
      r.locked = static_cast<uint8_t>(t.locked);
    }
  }

  int GetFirstTrack(KernelId& id) override { return First(trackCursor_, tracks, id); }
  int GetNextTrack(KernelId& id) override { return Next(trackCursor_, tracks, id); }
  int GetTrackInfo(const KernelId& id, _AUDIODATA& r) override {
    ++trackInfoCalls;
    auto it = byId_.find(id.RecordId());
    if (it == byId_.end()) return 0;
    r = records_[it->second];
    return 1;
  }
  int GetTrackLocked(const KernelId& id) override {
    auto it = byId_.find(id.RecordId());
    return it == byId_.end() ? 0 : tracks[it->second].locked;
  }
  int GetDataRoot(KernelId& root) override {
    root = KernelId(1);
    return 1;
  }
  int GetFirstDataChild(const KernelId&, KernelId& child) override { return First(dataCursor_, data, child); }
  int GetNextDataChild(const KernelId&, KernelId& child) override { return Next(dataCursor_, data, child); }
  std::string GetDataItemName(const KernelId& id) override {
    for (const auto& d : data) {
      if (d.id == id.RecordId()) return d.name;
    }
    return {};
  }
  int GetDataItemSizeKB(const KernelId& id) override {
    for (const auto& d : data) {
      if (d.id == id.RecordId()) return d.sizeKB;
    }
    return 0;
  }
  int GetFirstPlaylist(KernelId& id) override { return First(playlistCursor_, playlists, id); }
  int GetNextPlaylist(KernelId& id) override { return Next(playlistCursor_, playlists, id); }
  std::string GetPlaylistName(const KernelId& id) override {
    const MemoryPlaylist* p = FindPlaylist(id);
    return p ? p->name : std::string();
  }
  int GetFirstPlaylistItem(const KernelId& playlist, KernelId& item) override {
    itemCursor_ = 0;
    return GetNextPlaylistItem(playlist, item);
  }
  int GetNextPlaylistItem(const KernelId& playlist, KernelId& item) override {
    const MemoryPlaylist* p = FindPlaylist(playlist);
    if (p == nullptr || itemCursor_ >= p->items.size()) return 0;
    item = KernelId::FromRecordId(p->items[itemCursor_++]);
    return 1;
  }

 private:
  template <typename T>
  static int First(size_t& cursor, const std::vector<T>& items, KernelId& id) {
    cursor = 0;
    if (items.empty()) return 0;
    id = KernelId::FromRecordId(items[cursor++].id);
    return static_cast<int>(items.size());
  }
  template <typename T>
  static int Next(size_t& cursor, const std::vector<T>& items, KernelId& id) {
    if (cursor >= items.size()) return 0;
    id = KernelId::FromRecordId(items[cursor++].id);
    return 1;
  }
  const MemoryPlaylist* FindPlaylist(const KernelId& id) const {
    for (const auto& p : playlists) {
      if (p.id == id.RecordId()) return &p;
    }
    return nullptr;
  }

  std::unordered_map<uint64_t, size_t> byId_;
  std::vector<_AUDIODATA> records_;
  size_t trackCursor_ = 0, dataCursor_ = 0, playlistCursor_ = 0, itemCursor_ = 0;
};

}  // namespace hub::test
