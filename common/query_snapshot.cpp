// Building a query snapshot by the device's own walks.
#include "common/query_snapshot.h"

#include <algorithm>
#include <stdexcept>

#include "common/kernel_device.h"
#include "common/records.h"

namespace hub {

namespace {

size_t SlotOf(uint64_t id, size_t mask) {
  id ^= id >> 33;
  id *= 0xff51afd7ed558ccdULL;
  id ^= id >> 33;
  return static_cast<size_t>(id) & mask;
}

QuerySnapshot::TextRange Append(std::string& buffer, std::string_view text) {
  if (buffer.size() + text.size() > UINT32_MAX) throw std::length_error("query snapshot texts past 4 GiB");
  QuerySnapshot::TextRange range{static_cast<uint32_t>(buffer.size()), static_cast<uint32_t>(text.size())};
  buffer.append(text);
  return range;
}

}  // namespace

int32_t QuerySnapshot::FindTrack(uint64_t id) const {
  if (trackSlots.empty()) {
    for (size_t row = 0; row < trackIds.size(); ++row)
      if (trackIds[row] == id) return static_cast<int32_t>(row);
    return -1;
  }
  const size_t mask = trackSlots.size() - 1;
  for (size_t i = SlotOf(id, mask);; i = (i + 1) & mask) {
    uint32_t slot = trackSlots[i];
    if (slot == 0) return -1;
    if (trackIds[slot - 1] == id) return static_cast<int32_t>(slot - 1);
  }
}

QuerySnapshot BuildQuerySnapshot(KernelDevice& device) {
  QuerySnapshot s;
  KernelId id;
  _AUDIODATA record;
  static const _AUDIODATA kEmpty;
  if (int count = device.GetFirstTrack(id); count != 0) {
    if (count > 0) s.tracks.reserve(static_cast<size_t>(std::min(count, 1 << 20)));
    do {
      record = kEmpty;
      QuerySnapshot::Track t;
      t.id = id.RecordId();
      try {
        device.GetTrackInfo(id, record);
        t.locked = device.GetTrackLocked(id);
      } catch (...) {
        t.failure = static_cast<int32_t>(s.failures.size());
        s.failures.push_back(std::current_exception());
        s.tracks.push_back(t);
        continue;
      }
      t.trackNumber = record.trackNumber;
      t.length = record.length;
      t.year = record.year;
      t.bitrate = record.bitrate;
      t.size = record.size;
      t.playCount = record.playCount;
      t.rating = record.rating;
      t.fileType = record.fileType;
      t.texts[QuerySnapshot::kArtist] = Append(s.texts, record.artist.Get());
      t.texts[QuerySnapshot::kAlbum] = Append(s.texts, record.album.Get());
      t.texts[QuerySnapshot::kTitle] = Append(s.texts, record.title.Get());
      t.texts[QuerySnapshot::kGenre] = Append(s.texts, record.genre.Get());
      t.texts[QuerySnapshot::kComposer] = Append(s.texts, record.composer.Get());
      t.texts[QuerySnapshot::kComment] = Append(s.texts, record.comment.Get());
      s.tracks.push_back(t);
    } while (device.GetNextTrack(id) != 0);
  }
  std::vector<KernelId> playlists;
  if (device.GetFirstPlaylist(id) != 0) {
    do {
      playlists.push_back(id);
    } while (device.GetNextPlaylist(id) != 0);
  }
  for (const KernelId& playlist : playlists) {
    s.playlists.push_back({playlist.RecordId(), Append(s.texts, device.GetPlaylistName(playlist))});
    KernelId item;
    uint32_t position = 0;
    if (device.GetFirstPlaylistItem(playlist, item) == 0) continue;
    do {
      s.items.push_back({playlist.RecordId(), position++, item.RecordId()});
    } while (device.GetNextPlaylistItem(playlist, item) != 0);
  }
  auto ascending = [](const auto& list, auto key) {
    for (size_t i = 1; i < list.size(); ++i) {
      if (key(list[i - 1]) > key(list[i])) return false;
    }
    return true;
  };
  s.trackIds.reserve(s.tracks.size());
  for (const QuerySnapshot::Track& t : s.tracks) s.trackIds.push_back(t.id);
  if (s.tracks.size() < UINT32_MAX / 4) {
    size_t slots = 16;
    while (slots < s.tracks.size() * 2) slots *= 2;
    s.trackSlots.assign(slots, 0);
    for (size_t row = 0; row < s.trackIds.size(); ++row) {
      size_t i = SlotOf(s.trackIds[row], slots - 1);
      while (s.trackSlots[i] != 0 && s.trackIds[s.trackSlots[i] - 1] != s.trackIds[row]) i = (i + 1) & (slots - 1);
      if (s.trackSlots[i] == 0) s.trackSlots[i] = static_cast<uint32_t>(row + 1);  // the first row keeps the slot
    }
  }
  s.tracksAscending = ascending(s.tracks, [](const QuerySnapshot::Track& t) { return t.id; });
  s.playlistsAscending = ascending(s.playlists, [](const QuerySnapshot::Playlist& p) { return p.id; });
  s.itemsAscending = ascending(s.items, [](const QuerySnapshot::PlaylistItem& i) { return i.playlist; });
  return s;
}

}  // namespace hub
