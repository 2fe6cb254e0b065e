// `Shoebox`: the track and playlist database kept on the player as one file of
// tagged little-endian chunks (the format is described in shoebox_format.md).
// Tables keep file order, so an unchanged database is written back byte for
// byte; saves are all-or-nothing. No lock of its own: the device serialises use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "common/device_ui.h"
#include "manager/shoebox/flat_index.h"
#include "manager/shoebox/sb_track.h"

namespace hub {

// Progress of a load or save; the device's UI gives it.
using ShoeboxProgressMonitor = ProgressMonitor;

// Gives the key under which tracks count as duplicates. The key must depend
// only on the record's contents: the database recomputes it to re-key a track.
class ShoeboxDuplicateHasher {
 public:
  virtual ~ShoeboxDuplicateHasher() = default;
  virtual std::u16string GetDuplicateKey(const SBTrackV100& track) const = 0;
};

constexpr size_t kShoeboxHeaderSize = 24;
// The database header: 24 bytes kept as read (zero in a new database).
struct ShoeboxHeader {
  std::array<uint8_t, kShoeboxHeaderSize> bytes{};
};

// Ids that the database assigns start here; tracks and playlists count separately.
constexpr uint32_t kShoeboxFirstId = 2001;
// Progress is reported once per this many tracks.
constexpr int kShoeboxProgressEvery = 1500;
// Larger files are refused unread (50,000 tracks take about 25 MB).
constexpr size_t kShoeboxMaxFileSize = size_t(512) << 20;

// What the last Load found. The device keeps a backup of a file that was not
// loaded cleanly before it first writes over it.
struct ShoeboxLoadReport {
  bool fileRead = false;  // the file was opened and read to its end
  // Read, and saving it unchanged writes the same bytes: nothing was dropped,
  // repaired or reordered.
  bool clean = false;
  int error = 0;              // errno when the file could not be opened or read
  uint64_t damageOffset = 0;  // file offset of the first problem found
  std::string damage;         // the first problem in words; empty when clean
};

// The database cannot be put into bytes (a path outside the base folder, a
// chunk past 4 GB); `error` is the errno reported in the save's error text.
class ShoeboxSaveError : public std::runtime_error {
 public:
  ShoeboxSaveError(const std::string& what, int code) : std::runtime_error(what), error(code) {}
  int error;
};

// Walk position over a table; the caller keeps it between calls. A walk ends
// early, safely, when the record it would visit next was removed meanwhile.
struct ShoeboxPosition {
  uint32_t next = 0;
  bool atEnd = true;
};

// A table of records in insertion (file) order with an id index. Records live
// in blocks of nodes linked in file order (a removed record's node is reused),
// so a table of 50,000 records takes a few dozen allocations, not one each.
template <class Record>
class ShoeboxTable {
 public:
  ShoeboxTable() = default;
  ShoeboxTable(const ShoeboxTable&) = delete;
  ShoeboxTable& operator=(const ShoeboxTable&) = delete;

  Record* Find(uint32_t id) {
    uint32_t* node = index_.Find(id);
    return node ? &At(*node).record : nullptr;
  }
  const Record* Find(uint32_t id) const { return const_cast<ShoeboxTable*>(this)->Find(id); }
  bool Contains(uint32_t id) const { return index_.Contains(id); }
  size_t size() const { return index_.size(); }
  // Appends, or replaces in place a record with the same id.
  Record& Put(Record&& record) {
    if (uint32_t* node = index_.Find(record.Id())) {
      At(*node).record = std::move(record);
      return At(*node).record;
    }
    uint32_t id = record.Id();
    uint32_t node = Append(std::move(record));
    index_.Add(id, node);
    return At(node).record;
  }
  void Erase(uint32_t id) {
    uint32_t* node = index_.Find(id);
    if (!node) return;
    uint32_t n = *node;
    index_.Erase(id);
    Release(n);
  }
  ~ShoeboxTable() { Clear(); }
  void Clear() {
    for (uint32_t node = 0; node < nodes_; ++node) At(node).~Node();
    blocks_.clear();
    free_.clear();
    nodes_ = 0;
    head_ = tail_ = kNone;
    index_.Clear();
    pending_.clear();
  }
  void Reserve(size_t n) { index_.Reserve(n); }

  // Loading appends without indexing, then indexes the batch in one pass that
  // prefetches its slots instead of stalling on a cache miss per record. Only
  // for a table that was empty before the batch.
  Record& AppendUnindexed(Record&& record) {
    uint32_t id = record.Id();
    uint32_t node = Append(std::move(record));
    pending_.push_back({id, node});
    return At(node).record;
  }
  void ReservePending(size_t n) {
    pending_.reserve(n);
    blocks_.reserve((n + kBlock - 1) / kBlock);
  }
  // A record whose id is already indexed replaces that record's content (which
  // keeps its place) and leaves the table; onReplace(kept, later, n) runs first,
  // n counting the batch from 0.
  template <class F>
  void IndexAll(F&& onReplace) {
    constexpr size_t kAhead = 8;
    std::vector<Pending> batch = std::move(pending_);
    pending_.clear();
    index_.Reserve(batch.size());
    for (size_t n = 0; n < batch.size(); ++n) {
      if (n + kAhead < batch.size()) index_.Prefetch(batch[n + kAhead].id);
      uint32_t later = batch[n].node;
      if (uint32_t* kept = index_.Find(batch[n].id)) {
        onReplace(At(*kept).record, At(later).record, n);
        At(*kept).record = std::move(At(later).record);
        Release(later);
      } else {
        index_.Add(batch[n].id, later);
      }
    }
  }

  template <bool Const>
  class Iterator {
   public:
    using Table = std::conditional_t<Const, const ShoeboxTable, ShoeboxTable>;
    using value_type = Record;
    using reference = std::conditional_t<Const, const Record&, Record&>;
    using difference_type = std::ptrdiff_t;
    using iterator_category = std::forward_iterator_tag;
    Iterator() = default;
    Iterator(Table* table, uint32_t node) : table_(table), node_(node) {}
    reference operator*() const { return table_->At(node_).record; }
    auto* operator->() const { return &table_->At(node_).record; }
    Iterator& operator++() {
      node_ = table_->At(node_).next;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const Iterator& other) const { return node_ == other.node_; }

   private:
    Table* table_ = nullptr;
    uint32_t node_ = kNone;
  };
  Iterator<false> begin() { return {this, head_}; }
  Iterator<false> end() { return {this, kNone}; }
  Iterator<true> begin() const { return {this, head_}; }
  Iterator<true> end() const { return {this, kNone}; }

  Record* First(ShoeboxPosition& pos) {
    pos.atEnd = head_ == kNone;
    if (pos.atEnd) return nullptr;
    return Advance(head_, pos);
  }
  Record* Next(ShoeboxPosition& pos) {
    if (pos.atEnd) return nullptr;
    uint32_t* node = index_.Find(pos.next);
    if (!node) {
      pos.atEnd = true;
      return nullptr;
    }
    return Advance(*node, pos);
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  static constexpr size_t kBlockShift = 10;
  static constexpr size_t kBlock = size_t(1) << kBlockShift;
  struct Node {
    Record record;
    uint32_t prev = kNone;
    uint32_t next = kNone;
  };
  struct Storage {
    alignas(Node) unsigned char bytes[sizeof(Node)];
  };
  Node& At(uint32_t node) {
    return *std::launder(reinterpret_cast<Node*>(blocks_[node >> kBlockShift][node & (kBlock - 1)].bytes));
  }
  const Node& At(uint32_t node) const { return const_cast<ShoeboxTable*>(this)->At(node); }

  // Links a record in at the end, in a free node or a new one.
  uint32_t Append(Record&& record) {
    uint32_t node;
    if (!free_.empty()) {
      node = free_.back();
      free_.pop_back();
      At(node).record = std::move(record);
    } else {
      if (nodes_ == kNone) throw std::length_error("database table full");
      // Blocks are raw storage: nodes are built as they are handed out, and
      // [0, nodes_) are the built ones.
      if (nodes_ == blocks_.size() * kBlock) blocks_.push_back(std::unique_ptr<Storage[]>(new Storage[kBlock]));
      node = nodes_;
      new (&At(node)) Node{std::move(record)};
      ++nodes_;
    }
    Node& n = At(node);
    n.prev = tail_;
    n.next = kNone;
    if (tail_ != kNone) At(tail_).next = node; else head_ = node;
    tail_ = node;
    return node;
  }
  // Unlinks a node and empties its record for reuse.
  void Release(uint32_t node) {
    Node& n = At(node);
    if (n.prev != kNone) At(n.prev).next = n.next; else head_ = n.next;
    if (n.next != kNone) At(n.next).prev = n.prev; else tail_ = n.prev;
    n.record = Record();
    n.prev = n.next = kNone;
    free_.push_back(node);
  }
  Record* Advance(uint32_t node, ShoeboxPosition& pos) {
    uint32_t after = At(node).next;
    pos.atEnd = after == kNone;
    pos.next = pos.atEnd ? 0 : At(after).record.Id();
    return &At(node).record;
  }
  // The unindexed batch, so indexing it does not walk the table again.
  struct Pending {
    uint32_t id;
    uint32_t node;
  };
  std::vector<std::unique_ptr<Storage[]>> blocks_;
  std::vector<uint32_t> free_;
  uint32_t nodes_ = 0;  // nodes ever handed out
  uint32_t head_ = kNone;
  uint32_t tail_ = kNone;
  FlatIdMap<uint32_t> index_;
  std::vector<Pending> pending_;
};

class Shoebox : public ShoeboxDuplicateHasher {
 public:
  Shoebox();
  ~Shoebox() override;
  Shoebox(const Shoebox&) = delete;
  Shoebox& operator=(const Shoebox&) = delete;

  // Reads the database file once. `filePath` is the native path of the file;
  // `baseFolder` is the player's root in stored form ("E:\"), which track
  // paths are kept relative to in the file. Answers 1 when the file was read
  // (damaged or not; see LastLoad), 0 when already loaded or the file cannot
  // be opened or read. A null hasher means this database's own key.
  int Load(ShoeboxProgressMonitor* monitor, ShoeboxDuplicateHasher* hasher, const std::string& filePath,
           std::u16string_view baseFolder);
  // Load over bytes already in memory (tools and tests); keeps the file path.
  int LoadFromMemory(std::span<const uint8_t> bytes, ShoeboxProgressMonitor* monitor,
                     ShoeboxDuplicateHasher* hasher, std::u16string_view baseFolder);
  const ShoeboxLoadReport& LastLoad() const { return lastLoad_; }
  bool LoadedCleanly() const { return lastLoad_.clean; }
  bool IsLoaded() const { return loaded_; }

  // Writes the whole database over its file, all or nothing. Answers 1, or 0
  // with errorText "<stage>:0x<errno>" (stages: 0 prepare, 1 create, 2 write, 3 replace).
  int Save(ShoeboxProgressMonitor* monitor, std::string& errorText);
  // The bytes Save would write. Throws ShoeboxSaveError when they cannot be formed.
  std::vector<uint8_t> Serialize(ShoeboxProgressMonitor* monitor = nullptr) const;

  // Empties the database; the file path, base folder and hasher stay.
  void Clear();
  // Keeps the track ids `previous` retired unused here too, so a database
  // loaded to replace it never gives a client's old id to another track.
  void AdoptRetiredIds(const Shoebox& previous);

  // Takes the track. With assignId the smallest free id from 2001 is given
  // (never one a playlist still names); otherwise the record keeps its id and
  // replaces a track with that id. Answers the id, or 0 (nothing changed)
  // when the path is not inside the base folder.
  uint32_t AddTrack(SBTrackV100 track, bool assignId);
  // Replaces track `id` with `track` (its id is set to `id`), re-keying it.
  // false when there is no such track or the path is not inside the base folder.
  bool ReplaceTrack(uint32_t id, SBTrackV100 track);
  // Removes the track and every mention of it in the playlists; its id is not
  // given to another track by this object again.
  void RemoveTrack(uint32_t id);
  const SBTrackV100* FindTrack(uint32_t id) const { return tracks_.Find(id); }
  // True when a track other than `track` itself has the same duplicate key.
  bool IsDuplicate(const SBTrackV100& track) const;
  const SBTrackV100* FirstTrack(ShoeboxPosition& pos) { return tracks_.First(pos); }
  const SBTrackV100* NextTrack(ShoeboxPosition& pos) { return tracks_.Next(pos); }
  size_t TrackCount() const { return tracks_.size(); }
  // Sum of the sizes of all tracks.
  uint64_t TotalSize() const { return totalSize_; }
  // Whether a path lies inside the base folder (the only paths a track may have).
  bool IsPathInsideBase(std::u16string_view path) const;

  uint32_t AddPlaylist(SBPlaylistV100 playlist, bool assignId);
  void RemovePlaylist(uint32_t id) { playlists_.Erase(id); }
  SBPlaylistV100* FindPlaylist(uint32_t id) { return playlists_.Find(id); }
  const SBPlaylistV100* FindPlaylist(uint32_t id) const { return playlists_.Find(id); }
  SBPlaylistV100* FirstPlaylist(ShoeboxPosition& pos) { return playlists_.First(pos); }
  SBPlaylistV100* NextPlaylist(ShoeboxPosition& pos) { return playlists_.Next(pos); }
  size_t PlaylistCount() const { return playlists_.size(); }

  const ShoeboxHeader& Header() const { return header_; }
  const std::u16string& OwnerName() const { return ownerName_; }
  void SetOwnerName(std::u16string_view name) { ownerName_.assign(BoundShoeboxText(name)); }
  // Header text 51, written back unchanged.
  const std::u16string& SecondHeaderText() const { return secondText_; }
  void SetSecondHeaderText(std::u16string_view text) { secondText_.assign(BoundShoeboxText(text)); }
  const std::string& FilePath() const { return filePath_; }
  const std::u16string& BaseFolder() const { return baseFolder_; }

  // artist, album, two-digit track number and title, joined by NULs (which no text holds).
  std::u16string GetDuplicateKey(const SBTrackV100& track) const override;

  // Walks every track and playlist (read-only), for tools.
  const ShoeboxTable<SBTrackV100>& Tracks() const { return tracks_; }
  const ShoeboxTable<SBPlaylistV100>& Playlists() const { return playlists_; }
  // Moves with every change of the tracks or of the base folder (a walk of the
  // tracks that began before a move may visit reused places).
  uint64_t Revision() const { return revision_; }

 private:
  friend class ShoeboxReader;

  // Enters a track under its id, replacing one with the same id in place.
  void PutTrack(SBTrackV100&& track);
  uint64_t SumTrackSizes() const;
  // Builds the duplicate index when a load left it for its first use.
  void IndexDuplicates() const;
  // This database's own key, written over `key` (which keeps its buffer).
  void DuplicateKeyInto(const SBTrackV100& track, std::u16string& key) const;
  void Unindex(const SBTrackV100& track);
  uint32_t FreeTrackId();
  uint32_t FreePlaylistId();
  void NoteDanglingIds();
  // Reads the file's `size` bytes in `file`, which the database keeps.
  int Parse(std::unique_ptr<char16_t[]> file, size_t size, ShoeboxProgressMonitor* monitor,
            ShoeboxDuplicateHasher* hasher, std::u16string_view baseFolder);

  ShoeboxHeader header_;
  std::u16string ownerName_;
  std::u16string secondText_;
  bool loaded_ = false;
  std::string filePath_;
  std::u16string baseFolder_;
  // Copies of loaded files, which loaded tracks' texts are views of; they go
  // after the tables (declared first, destroyed last).
  std::vector<std::unique_ptr<char16_t[]>> loadedFiles_;
  ShoeboxTable<SBTrackV100> tracks_;
  ShoeboxTable<SBPlaylistV100> playlists_;
  uint64_t totalSize_ = 0;
  // Duplicate index: hash of each track's key -> track ids (several tracks may
  // share a key). Candidates are confirmed by comparing the keys themselves.
  // A load leaves it unbuilt (duplicatesIndexed_ false) until IsDuplicate
  // needs it; changes keep a built one current.
  mutable FlatHashToIds duplicates_;
  mutable bool duplicatesIndexed_ = true;
  // Track ids that loaded playlists name without a track: never assigned, so a
  // new track cannot slip into a playlist.
  std::unordered_set<uint32_t> danglingIds_;
  // Track ids removed since this database object was made; Clear keeps them,
  // so an id a client still holds never names another track in the same run.
  std::unordered_set<uint32_t> retiredTrackIds_;
  // Every id in [kShoeboxFirstId, hint) is taken, so the search starts here.
  uint32_t trackIdHint_ = kShoeboxFirstId;
  uint32_t playlistIdHint_ = kShoeboxFirstId;
  uint64_t revision_ = 0;
  ShoeboxProgressMonitor* monitor_ = nullptr;
  const ShoeboxDuplicateHasher* hasher_ = this;
  ShoeboxLoadReport lastLoad_;
};

// Forms the bytes Serialize gives a slice of tracks at a time, so that whoever
// guards the database can let go of it between slices; each Step needs the
// database guarded and alive. A change of the tracks between two steps starts
// the walk again. The header, its texts and the playlists are formed by the
// step that forms the last track, so the bytes are Serialize's for the
// database as that step found it.
class ShoeboxSerializer {
 public:
  explicit ShoeboxSerializer(const Shoebox& db, ShoeboxProgressMonitor* monitor = nullptr);
  ShoeboxSerializer(const ShoeboxSerializer&) = delete;
  ShoeboxSerializer& operator=(const ShoeboxSerializer&) = delete;

  // Forms up to `tracks` more tracks and, when none is left, the rest of the
  // file: true then. Throws ShoeboxSaveError as Serialize does.
  bool Step(size_t tracks);
  // How often a change of the tracks started the walk again.
  int Restarts() const { return restarts_; }
  // The file, once a Step answered true; reads nothing of the database.
  std::vector<uint8_t> Take();

 private:
  void StartWalk();

  const Shoebox& db_;
  ShoeboxProgressMonitor* monitor_;
  bool started_ = false;
  bool done_ = false;
  int restarts_ = 0;
  uint64_t revision_ = 0;
  int formed_ = 0;
  ShoeboxTable<SBTrackV100>::Iterator<true> next_;
  size_t tracksChunk_ = 0;
  std::vector<uint8_t> out_;   // the tracks and playlists
  std::vector<uint8_t> head_;  // the chunks that open the file, formed last
};

}  // namespace hub
