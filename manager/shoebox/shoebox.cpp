// `Shoebox`: the track and playlist tables with their size total, duplicate
// index and id assignment. Reading and writing the file are in
// shoebox_reader.cpp and shoebox_writer.cpp.
#include "manager/shoebox/shoebox.h"

#include <limits>
#include <stdexcept>
#include <typeinfo>

#include "manager/shoebox/shoebox_chunks.h"

namespace hub {

using namespace shoebox_chunks;

namespace {

bool HasParentStep(std::u16string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = path.size();
    if (path.substr(start, end - start) == u"..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

Shoebox::Shoebox() = default;
Shoebox::~Shoebox() { Clear(); }

void Shoebox::Clear() {
  ++revision_;
  tracks_.Clear();
  playlists_.Clear();
  loadedFiles_.clear();
  duplicates_.Clear();
  duplicatesIndexed_ = true;
  danglingIds_.clear();
  totalSize_ = 0;
  header_ = ShoeboxHeader{};
  ownerName_.clear();
  secondText_.clear();
  loaded_ = false;
  trackIdHint_ = kShoeboxFirstId;
  playlistIdHint_ = kShoeboxFirstId;
  lastLoad_ = ShoeboxLoadReport{};
}

void Shoebox::AdoptRetiredIds(const Shoebox& previous) {
  retiredTrackIds_.insert(previous.retiredTrackIds_.begin(), previous.retiredTrackIds_.end());
}

bool Shoebox::IsPathInsideBase(std::u16string_view path) const {
  if (!StartsWithNoCase(path, baseFolder_)) return false;
  std::u16string_view rest = path.substr(baseFolder_.size());
  return !rest.empty() && !HasParentStep(rest);
}

std::u16string Shoebox::GetDuplicateKey(const SBTrackV100& track) const {
  std::u16string key;
  DuplicateKeyInto(track, key);
  return key;
}

void Shoebox::DuplicateKeyInto(const SBTrackV100& track, std::u16string& key) const {
  // The track number in at least two digits ("%02u").
  char16_t digits[5];
  int n = 0;
  for (unsigned v = track.TrackNumber(); v > 0 || n < 2; v /= 10) digits[n++] = static_cast<char16_t>(u'0' + v % 10);
  std::u16string_view artist = track.Text(kTrackTextArtist);
  std::u16string_view album = track.Text(kTrackTextAlbum);
  std::u16string_view title = track.Text(kTrackTextTitle);
  key.clear();
  key.reserve(artist.size() + album.size() + title.size() + 9);
  key += artist;
  key += u'\0';
  key += album;
  key += u'\0';
  while (n > 0) key += digits[--n];
  key += u'\0';
  key += title;
}

void Shoebox::Unindex(const SBTrackV100& track) {
  totalSize_ -= track.Size();
  if (duplicatesIndexed_) duplicates_.Erase(KeyHash(hasher_->GetDuplicateKey(track)), track.Id());
}

void Shoebox::PutTrack(SBTrackV100&& track) {
  ++revision_;
  if (const SBTrackV100* old = tracks_.Find(track.Id())) Unindex(*old);
  totalSize_ += track.Size();
  if (duplicatesIndexed_) duplicates_.Add(KeyHash(hasher_->GetDuplicateKey(track)), track.Id());
  tracks_.Put(std::move(track));
}

uint64_t Shoebox::SumTrackSizes() const {
  uint64_t total = 0;
  for (const SBTrackV100& track : tracks_) total += track.Size();
  return total;
}

void Shoebox::IndexDuplicates() const {
  if (duplicatesIndexed_) return;
  constexpr size_t kAhead = 8;
  std::vector<std::pair<uint64_t, uint32_t>> keys;
  keys.reserve(tracks_.size());
  // Our own key is built into one reused buffer instead of a new string per track.
  const bool own = typeid(*hasher_) == typeid(Shoebox);
  std::u16string key;
  for (const SBTrackV100& track : tracks_) {
    if (own) DuplicateKeyInto(track, key);
    keys.emplace_back(KeyHash(own ? key : hasher_->GetDuplicateKey(track)), track.Id());
  }
  duplicates_.Clear();
  duplicates_.Reserve(keys.size());
  for (size_t n = 0; n < keys.size(); ++n) {
    if (n + kAhead < keys.size()) duplicates_.Prefetch(keys[n + kAhead].first);
    duplicates_.Add(keys[n].first, keys[n].second);
  }
  duplicatesIndexed_ = true;
}

uint32_t Shoebox::FreeTrackId() {
  while (tracks_.Contains(trackIdHint_) || danglingIds_.count(trackIdHint_) || retiredTrackIds_.count(trackIdHint_)) {
    if (trackIdHint_ == std::numeric_limits<uint32_t>::max()) throw std::length_error("no free track id");
    ++trackIdHint_;
  }
  return trackIdHint_;
}

uint32_t Shoebox::FreePlaylistId() {
  while (playlists_.Contains(playlistIdHint_)) {
    if (playlistIdHint_ == std::numeric_limits<uint32_t>::max()) throw std::length_error("no free playlist id");
    ++playlistIdHint_;
  }
  return playlistIdHint_;
}

void Shoebox::NoteDanglingIds() {
  for (const SBPlaylistV100& playlist : playlists_)
    for (uint32_t id : playlist.items)
      if (!tracks_.Contains(id)) danglingIds_.insert(id);
}

uint32_t Shoebox::AddTrack(SBTrackV100 track, bool assignId) {
  if (!IsPathInsideBase(track.Path())) return 0;
  if (assignId) track.SetId(FreeTrackId());
  uint32_t id = track.Id();
  PutTrack(std::move(track));
  return id;
}

bool Shoebox::ReplaceTrack(uint32_t id, SBTrackV100 track) {
  if (!tracks_.Contains(id) || !IsPathInsideBase(track.Path())) return false;
  track.SetId(id);
  PutTrack(std::move(track));
  return true;
}

void Shoebox::RemoveTrack(uint32_t id) {
  const SBTrackV100* track = tracks_.Find(id);
  if (!track) return;
  ++revision_;
  Unindex(*track);
  tracks_.Erase(id);
  // A client may still hold the id (a batch, an open view): no new track gets it in this run.
  retiredTrackIds_.insert(id);
  for (SBPlaylistV100& playlist : playlists_) std::erase(playlist.items, id);
}

bool Shoebox::IsDuplicate(const SBTrackV100& track) const {
  IndexDuplicates();
  std::u16string key = hasher_->GetDuplicateKey(track);
  return duplicates_.Any(KeyHash(key), [&](uint32_t id) {
    const SBTrackV100* other = tracks_.Find(id);
    return other && other != &track && hasher_->GetDuplicateKey(*other) == key;
  });
}

uint32_t Shoebox::AddPlaylist(SBPlaylistV100 playlist, bool assignId) {
  if (assignId) playlist.SetId(FreePlaylistId());
  uint32_t id = playlist.Id();
  playlists_.Put(std::move(playlist));
  return id;
}

}  // namespace hub
